#include "core/CurlPerform.h"

#include "support/Cancellation.h"

#include <memory>

namespace {

constexpr int kPollMs = 100;

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// The result of `easy` once the multi handle reports it done; false while it runs.
bool Finished(CURLM* multi, CURL* easy, CURLcode& result) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            result = message->data.result;
            return true;
        }
    }
    return false;
}

} // namespace

CURLcode PerformTransfer(CURL* easy) {
    // Nobody can stop the work: the plain call, which waits as long as the transfer's own
    // time-outs allow.
    if (!CancellationPossible())
        return curl_easy_perform(easy);
    const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    for (;;) {
        if (CancellationRequested()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (Finished(multi.get(), easy, result))
            break;
        if (curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}
