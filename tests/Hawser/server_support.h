// The local test server under the names the request-pipeline tests use, and waiting
// for a request to finish.
#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "Hawser/Request.h"
#include "tests/support/LocalHTTPServer.h"

namespace server_support {

using LocalServer = testing_support::LocalHTTPServer;
using HTTPExchange = LocalServer::Received;
using HTTPReply = LocalServer::Reply;
using Handler = LocalServer::Handler;

// True once the request has finished (false after `seconds`).
inline bool waitForFinish(const std::shared_ptr<Hawser::Request>& request, double seconds = 10) {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    request->onFinish([state] {
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->changed.notify_all();
    });
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return state->done; });
}

}  // namespace server_support
