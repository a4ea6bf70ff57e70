// What a store function answers: a result code and, for a failed system call, its errno.
#pragma once

#include "label/request.h"

/// A result code and the errno of the call that failed: with RESULT_FILE_ERROR always,
/// with RESULT_COMMAND_FAILED when the paper tool could not be started (else 0).
struct Outcome {
    Result result = RESULT_OK;
    int error = 0;

    bool ok() const { return result == RESULT_OK; }
};

inline Outcome file_error(int error) { return {RESULT_FILE_ERROR, error}; }
