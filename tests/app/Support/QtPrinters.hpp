#pragma once

#include <ostream>

#include <QString>

// Test failures print Qt texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
