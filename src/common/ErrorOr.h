#pragma once

#include <string>
#include <utility>
#include <variant>

namespace tapewell {

// Why an operation failed. message is the text a user or a log is shown, in
// the operation's own words ("cannot open x.asf: No such file or directory").
// code is the errno value when a system call failed, else 0, so a caller can
// tell "no space left" or "permission denied" apart without parsing text.
struct Error {
    int code = 0;
    std::string message;

    static Error FromMessage(std::string message) { return Error{0, std::move(message)}; }
    static Error FromErrno(int code, std::string message) {
        return Error{code, std::move(message)};
    }
};

// A value or the Error that kept an operation from producing one: the one
// shape every fallible core operation returns. No exceptions; a caller checks
// and passes the error on in one line:
//
//     auto info = ReadAsfInfo(path);
//     if (!info) return info.error();
template <typename T>
class [[nodiscard]] ErrorOr {
public:
    ErrorOr(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    ErrorOr(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return m_state.index() == 0; }
    explicit operator bool() const { return has_value(); }

    // Only when has_value(); reading the wrong side is a programmer error.
    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Only when !has_value().
    const Error& error() const& { return std::get<1>(m_state); }
    Error&& error() && { return std::get<1>(std::move(m_state)); }

private:
    std::variant<T, Error> m_state;
};

// An operation that produces nothing but can fail: default-constructed is
// success.
template <>
class [[nodiscard]] ErrorOr<void> {
public:
    ErrorOr() = default;
    ErrorOr(Error error) : m_failed(true), m_error(std::move(error)) {}

    bool has_value() const { return !m_failed; }
    explicit operator bool() const { return has_value(); }

    const Error& error() const& { return m_error; }
    Error&& error() && { return std::move(m_error); }

private:
    bool m_failed = false;
    Error m_error;
};

}  // namespace tapewell
