#pragma once
// libcurl's process-wide start-up, done once before the first transfer of any thread.
void EnsureCurlGlobalInit();
