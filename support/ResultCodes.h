// The result codes of the file digest and of the hash and imprint checks. Their messages
// come from ResultCodeText (support/ErrorText.h); three of them have none.
#pragma once

enum ResultCode : int {
    RESULT_OK = 0,                   // success; no message
    RESULT_E_HASH_UNSUPPORTED = 301, // the hash OID is not in the algorithm table
    RESULT_E_HASH_INIT = 302,        // the library gave no digest context
    RESULT_E_READ_FILE = 303,        // a file could not be read ("%s" = its path)
    RESULT_E_READ_SOURCE = 304,      // empty path, or the source file cannot be opened
    RESULT_E_SILENT = 305,           // a failure without a message of its own
    RESULT_E_DIGEST_MISMATCH = 306,  // the source file's digest is not the stamped one
    RESULT_E_STAMP = 307,            // the stamp could not be confirmed
    RESULT_E_NOT_REGULAR_FILE = 308, // the source is a device, FIFO or socket ("%s" = its path)
    RESULT_E_SOURCE_CHANGED = 309,   // the source changed while it was hashed ("%s" = its path)
    RESULT_E_CANCELLED = 310,        // the user stopped the work; no message
};
