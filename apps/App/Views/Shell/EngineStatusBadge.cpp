#include "EngineStatusBadge.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"

namespace corvane::app {

using EngineStatusPresentation::DotColour;

class EngineStatusBadge::Dot : public QWidget {
public:
    explicit Dot(EngineStatusBadge& badge) : badge_(badge) { setFixedSize(kDotSize, kDotSize); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(badge_.paintedDotColour());
        painter.drawEllipse(rect());
    }

private:
    EngineStatusBadge& badge_;
};

EngineStatusBadge::EngineStatusBadge(QWidget* parent) : QWidget(parent), dot_(new Dot(*this)), label_(new QLabel) {
    setObjectName("engineStatusBadge");
    setAccessibleName("Engine status");
    label_->setFont(Fonts::callout(label_->font()));
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, Tones::secondaryText(palette));
    label_->setPalette(palette);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(dot_, 0, Qt::AlignVCenter);
    layout->addWidget(label_, 0, Qt::AlignVCenter);
    setStatus(EngineStatus::stopped());
}

void EngineStatusBadge::setStatus(const EngineStatus& status) {
    dotColour_ = EngineStatusPresentation::dotColour(status);
    label_->setText(QString::fromStdString(EngineStatusPresentation::text(status)));
    setAccessibleDescription(label_->text());
    dot_->update();
}

QString EngineStatusBadge::text() const { return label_->text(); }

QColor EngineStatusBadge::paintedDotColour() const {
    switch (dotColour_) {
    case DotColour::yellow: return QColor(0xFF, 0xCC, 0x00);
    case DotColour::green: return QColor(0x34, 0xC7, 0x59);
    case DotColour::red: return QColor(0xFF, 0x3B, 0x30);
    case DotColour::secondary: break;
    }
    QColor colour = Tones::secondaryText(palette());
    colour.setAlphaF(colour.alphaF() * 0.5f);
    return colour;
}

}  // namespace corvane::app
