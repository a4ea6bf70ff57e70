// What a call that reads or changes files answers: a result code, and what the caller
// needs to say why (the errno of the call that failed and the file it concerns). The
// codes are the tool's own at every layer: this layer answers RESULT_OK or
// RESULT_FILE_ERROR, the driver store all four.
#pragma once

#include <string>

enum Result : int {
    RESULT_OK = 0,
    RESULT_NOT_FOUND = 1,
    RESULT_FILE_ERROR = -1,
    RESULT_COMMAND_FAILED = -2,
};

struct Outcome {
    Outcome() = default;
    explicit Outcome(Result result, int error = 0, std::string subject = {})
        : result(result), error(error), subject(std::move(subject)) {}

    Result result = RESULT_OK;
    /// The errno of the call that failed: with RESULT_FILE_ERROR unless `why` says it,
    /// with RESULT_COMMAND_FAILED when the paper tool could not be started (else 0).
    int error = 0;
    /// A fixed reason where no errno tells it (a file without an insertion mark).
    const char* why = nullptr;
    /// The file, folder or program the failure concerns.
    std::string subject;
    /// How the paper tool ended when it ran and failed (a wait status); -1 otherwise.
    int tool_status = -1;
    /// Where the failure left the paper tool's side, when it was changed; else null.
    const char* aftermath = nullptr;
    /// The process a wait gave up on, where one did; else 0.
    int holder = 0;

    bool ok() const { return result == RESULT_OK; }
};

inline Outcome file_error(int error, std::string subject) {
    return Outcome(RESULT_FILE_ERROR, error, std::move(subject));
}
