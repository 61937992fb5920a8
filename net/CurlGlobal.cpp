#include "net/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

void EnsureCurlGlobalInit() {
    // Never undone: transfers may run on other threads until the process ends.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
