#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace vellumet
{

// The reason a step failed, as a sentence the user can act on.
struct Failure {
    QString reason;
};

inline Failure failure(QString reason)
{
    return Failure{std::move(reason)};
}

// Success carrying a value, or a failure carrying its reason: the one way the code
// reports a failure. `return value;` succeeds, `return failure(reason);` fails.
template <typename T = void> class [[nodiscard]] Result
{
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failed) : error_(std::move(failed.reason)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return *value_; }
    T &value() & { return *value_; }
    T &&value() && { return std::move(*value_); }
    const T &operator*() const & { return *value_; }
    const T *operator->() const { return &*value_; }
    // Empty on success.
    const QString &error() const { return error_; }

private:
    std::optional<T> value_;
    QString error_;
};

// Success or a reason, with nothing to carry: `return {};` succeeds.
template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failed) : failed_(true), error_(std::move(failed.reason)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return error_; }

private:
    bool failed_ = false;
    QString error_;
};

} // namespace vellumet
