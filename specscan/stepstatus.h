// How SpecScan's library code reports a failure: it never prints and never
// ends the process; it returns the message the program prints, complete and
// as it is printed. Only specscan_run.cpp and main.cpp print and exit.
#pragma once

#include <string>
#include <utility>

namespace sonvola {

class [[nodiscard]] StepStatus {
  public:
    // Success.
    StepStatus() = default;
    static StepStatus error(std::string message) {
        StepStatus s;
        s.failed_ = true;
        s.message_ = std::move(message);
        return s;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // Empty on success.
    const std::string& message() const { return message_; }

  private:
    bool failed_ = false;
    std::string message_;
};

}  // namespace sonvola
