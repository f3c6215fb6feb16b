// One transfer of an easy handle, as curl_easy_perform does it, but stoppable: on a thread
// whose work the user may stop (support/Cancellation.h) the transfer waits on the network
// in steps of a tenth of a second and ends with CURLE_ABORTED_BY_CALLBACK soon after the
// stop, also while the server sends nothing at all.
#pragma once

#include <curl/curl.h>

[[nodiscard]] CURLcode PerformTransfer(CURL* easy);
