// How library code reports a failure.
//
// The convention of the whole tree:
//  - A library function that can fail returns a Status (when it has nothing
//    else to return) or a Result<T> (its value, or the failure). It never
//    prints and never ends the process.
//  - The failure carries the message a program prints, complete and as it is
//    printed (line ends included where the program prints them), and, where
//    a caller acts on the kind of failure, a code: an enum of the library's
//    own, stored with Status::error(message, code) and read with code<E>().
//  - Only the programs' drivers (the *_run.cpp files, the mains and the front
//    end's windows) print messages and choose exit statuses.
//  - Not failures, and so outside the rule: a library step may write its
//    console lines (a stage's listing, counts, the header read) to the stream
//    its driver hands it; common/console is the console plumbing of the
//    drivers (fatalError prints and exits for them), and common/outputfile's
//    at-exit check of standard output says on standard error that it failed.
//    Writers of the output files write to their FILE* as they must.
//
//   Result<MidiFile> file = parseMidiFile(path);
//   if (!file) return fail(file.message());
//   use(*file);
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace sonvola {

class [[nodiscard]] Status {
  public:
    // Success.
    Status() = default;

    static Status error(std::string message) { return Status(std::move(message), 0); }
    template <typename Code>
    requires std::is_enum_v<Code>
    static Status error(std::string message, Code code) {
        return Status(std::move(message), static_cast<int>(code));
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }

    // Empty on success.
    const std::string& message() const { return message_; }

    // The code given to error(); the enum's value 0 on success or when none
    // was given.
    template <typename Code>
    requires std::is_enum_v<Code> Code code()
    const { return static_cast<Code>(code_); }

  private:
    Status(std::string message, int code)
        : failed_(true), code_(code), message_(std::move(message)) {}

    bool failed_ = false;
    int code_ = 0;
    std::string message_;
};

// A value, or the failure that stands in its place.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    // A failed status; a Result is never made from a success without a value.
    Result(Status status) : status_(std::move(status)) { assert(!status_.ok()); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return *value_;
    }
    const T& value() const& {
        assert(ok());
        return *value_;
    }
    T&& value() && {
        assert(ok());
        return std::move(*value_);
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Success when there is a value.
    const Status& status() const { return status_; }
    const std::string& message() const { return status_.message(); }
    template <typename Code>
    requires std::is_enum_v<Code> Code code()
    const { return status_.code<Code>(); }

  private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace sonvola
