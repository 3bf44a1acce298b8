#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

// A JSON value that does not have the form a type requires: a missing key, a
// wrong JSON type, a number out of range, text that is not JSON at all. It
// says where: the position in the text for text that is not JSON, the path to
// the value for a value of the wrong form.
class JsonDecodeError : public std::runtime_error {
public:
    // A place in the text, counted from 1 (the column in bytes).
    struct Position {
        std::size_t line = 1;
        std::size_t column = 1;

        friend bool operator==(const Position&, const Position&) = default;
    };

    explicit JsonDecodeError(const std::string& message) : std::runtime_error(message) {}
    JsonDecodeError(const std::string& message, Position position)
        : std::runtime_error(message), position_(position) {}

    const std::optional<Position>& position() const { return position_; }
    // The keys and [indexes] from the top of the document to the value that
    // holds the failure, e.g. "profile.rules[2].action"; "" at the top.
    const std::string& path() const { return path_; }

    // The failure lies inside `key` or `[index]` of an enclosing value.
    void enclose(std::string_view key);
    void enclose(std::size_t index);

private:
    std::optional<Position> position_;
    std::string path_;
};

}  // namespace corvane
