#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// How an operation ended: ok, or the kind of failure and a message a user can read (SQLite's,
// the file system's or the far end's words). Every layer returns it, so a caller tells a
// missing run from a full disk without parsing text. Cheap to copy.
class Status
{
public:
    enum class Kind {
        Ok,
        NotFound,    // no such run, table, file or column
        Invalid,     // the input is not what it must be (a name, a range, a CSV line)
        ReadFailed,  // the source could not be read (a database, a file)
        WriteFailed, // the target could not be written (a full disk, a read-only file)
        Exists,      // the name is taken
        Busy,        // another program holds what is needed
        Unavailable, // the far end (a broker, a server) cannot be reached
        Cancelled,   // stopped on request
    };

    // Ok.
    Status() = default;
    static Status success() { return {}; }
    static Status failure(Kind kind, QString message) { return Status(kind, std::move(message)); }
    static Status not_found(QString message) { return failure(Kind::NotFound, std::move(message)); }
    static Status invalid(QString message) { return failure(Kind::Invalid, std::move(message)); }
    static Status read_failed(QString message)
    {
        return failure(Kind::ReadFailed, std::move(message));
    }
    static Status write_failed(QString message)
    {
        return failure(Kind::WriteFailed, std::move(message));
    }
    static Status exists(QString message) { return failure(Kind::Exists, std::move(message)); }
    static Status busy(QString message) { return failure(Kind::Busy, std::move(message)); }
    static Status unavailable(QString message)
    {
        return failure(Kind::Unavailable, std::move(message));
    }
    static Status cancelled(QString message)
    {
        return failure(Kind::Cancelled, std::move(message));
    }

    bool ok() const { return kind_ == Kind::Ok; }
    Kind kind() const { return kind_; }
    bool is(Kind kind) const { return kind_ == kind; }
    // Empty when ok.
    const QString &message() const { return message_; }
    // The same failure with what was being done in front: "context: message". Ok stays ok.
    Status prefixed(const QString &context) const;

    bool operator==(const Status &other) const
    {
        return kind_ == other.kind_ && message_ == other.message_;
    }
    bool operator!=(const Status &other) const { return !(*this == other); }

private:
    Status(Kind kind, QString message)
        : kind_(kind)
        , message_(std::move(message))
    {}

    Kind kind_ = Kind::Ok;
    QString message_;
};

// A value, or the Status that says why there is none.
template <typename T> class Result
{
public:
    Result(T value)
        : value_(std::move(value))
    {}
    Result(Status status)
        : status_(std::move(status))
    {
        Q_ASSERT(!status_.ok());
    }

    bool ok() const { return value_.has_value(); }
    const Status &status() const { return status_; }
    // Only when ok(): asking a failure for its value is a programming error, stopped here.
    const T &value() const { return checked(); }
    T &value() { return const_cast<T &>(checked()); }
    const T *operator->() const { return &checked(); }
    const T &operator*() const { return checked(); }

private:
    const T &checked() const
    {
        if (!value_)
            qFatal("value of a failed result: %s", qPrintable(status_.message()));
        return *value_;
    }

    std::optional<T> value_;
    Status status_;
};
