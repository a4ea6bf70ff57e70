// What a store function answers: a result code and what the caller needs to say why.
#pragma once

#include <string>

#include "label/request.h"

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

    bool ok() const { return result == RESULT_OK; }
};

inline Outcome file_error(int error, std::string subject) {
    return Outcome(RESULT_FILE_ERROR, error, std::move(subject));
}
