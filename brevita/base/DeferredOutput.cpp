#include "DeferredOutput.h"

namespace brevita {

namespace {
thread_local DeferredOutput *deferred = nullptr;
} // namespace

DeferOutputScope::DeferOutputScope(DeferredOutput &out) : outer_(deferred) {
    deferred = &out;
}

DeferOutputScope::~DeferOutputScope() {
    deferred = outer_;
}

DeferredOutput *DeferredOutputOfThisThread() {
    return deferred;
}

} // namespace brevita
