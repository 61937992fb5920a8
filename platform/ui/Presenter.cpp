#include "platform/ui/Presenter.h"

#include <atomic>

namespace {
std::atomic<Presenter*> g_presenter{nullptr};
}

void SetPresenter(Presenter* presenter) { g_presenter.store(presenter, std::memory_order_release); }

Presenter* GetPresenter() { return g_presenter.load(std::memory_order_acquire); }
