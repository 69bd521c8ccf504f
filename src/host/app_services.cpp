#include "host/app_services.h"

#include <utility>

namespace tubenest {
namespace {
TProgressSink& Sink() {
    static TProgressSink sink;
    return sink;
}
} // namespace

void SetApplicationProgressSink(TProgressSink sink) { Sink() = std::move(sink); }

void ApplicationSetProgress(const std::string& message, int total, int step) {
    if (const auto& sink = Sink()) {
        sink(message, total, step);
    }
}

} // namespace tubenest
