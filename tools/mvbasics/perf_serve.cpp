#include "perf_serve.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "cli.h"
#include "perf_metrics.h"

namespace mvtool {
namespace {

constexpr const char kDefaultListen[] = "127.0.0.1:9464";
constexpr const char kExpositionType[] = "text/plain; version=0.0.4; charset=utf-8";

// The server's connections run on a fixed number of workers; while every worker is busy
// and as many connections wait, the accepting thread waits too, so further clients stay
// in the listen backlog instead of piling up in memory.
class BoundedPool : public httplib::TaskQueue {
  public:
    explicit BoundedPool(size_t workers) : m_capacity(workers) {
        for (size_t i = 0; i < workers; ++i) m_threads.emplace_back([this] { Work(); });
    }

    void enqueue(std::function<void()> job) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_roomLeft.wait(lock, [this] { return m_jobs.size() < m_capacity || m_stopping; });
        m_jobs.push_back(std::move(job));
        m_jobReady.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_jobReady.notify_all();
        m_roomLeft.notify_all();
        for (std::thread& t : m_threads) t.join();
    }

  private:
    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
                if (m_jobs.empty()) return;  // stopping, and nothing left to finish
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_roomLeft.notify_one();
            job();
        }
    }

    const size_t m_capacity;
    std::vector<std::thread> m_threads;
    std::deque<std::function<void()>> m_jobs;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomLeft;
    bool m_stopping = false;
};

void Routes(httplib::Server& server) {
    server.Get("/metrics", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(PrometheusText(CollectCounters()), kExpositionType);
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("Merivane performance counters: see /metrics\n", "text/plain");
    });
}

// Stops the server on SIGINT or SIGTERM. The signals are blocked in every thread and
// taken by this one thread with sigwait, so the stop runs outside a signal handler.
class SignalStop {
  public:
    explicit SignalStop(httplib::Server& server) {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
        m_thread = std::thread([this, &server] {
            int signal = 0;
            sigwait(&m_signals, &signal);
            m_signal = signal;
            server.stop();
        });
    }
    // Wakes the waiting thread when the server ended on its own, and restores the mask.
    ~SignalStop() {
        if (m_signal == 0) pthread_kill(m_thread.native_handle(), SIGTERM);
        m_thread.join();
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

  private:
    sigset_t m_signals;
    sigset_t m_previous;
    std::thread m_thread;
    volatile sig_atomic_t m_signal = 0;
};

int Serve(const std::string& listen, int connections) {
    std::string host;
    int port = 0;
    if (!ParseListenAddress(listen, &host, &port))
        return UsageError("'" + listen + "'", "not ADDR:PORT (e.g. 127.0.0.1:9464)");
    httplib::Server server;
    server.new_task_queue = [connections] { return new BoundedPool(connections); };
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_max_count(static_cast<size_t>(connections) * 4);
    server.set_payload_max_length(64 * 1024);
    Routes(server);
    SignalStop stop(server);
    const int bound =
        port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) return Fail(listen, "cannot listen there: " + SystemCause());
    const bool v6 = host.find(':') != std::string::npos;
    std::printf("listening on http://%s%s%s:%d/metrics\n", v6 ? "[" : "", host.c_str(),
                v6 ? "]" : "", bound);
    std::fflush(stdout);
    if (!server.listen_after_bind()) return Fail(listen, "the server stopped: " + SystemCause());
    return kExitOk;
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string* host, int* port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    std::string address = text.substr(0, colon);
    if (address.front() == '[') {
        if (address.size() < 3 || address.back() != ']') return false;
        address = address.substr(1, address.size() - 2);
    } else if (address.find(':') != std::string::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(digits);
    if (value > 65535) return false;
    *host = address;
    *port = value;
    return true;
}

void AddPerfServeCommand(CLI::App& perf) {
    CLI::App* serve = perf.add_subcommand(
        "serve", "serve the counters over HTTP at /metrics until SIGINT or SIGTERM");
    auto listen = std::make_shared<std::string>(kDefaultListen);
    auto connections = std::make_shared<int>(4);
    serve->add_option("--listen", *listen, "ADDR:PORT to listen on (port 0: any free port)")
        ->capture_default_str();
    serve
        ->add_option("--max-connections", *connections,
                     "connections served at once (as many more wait their turn)")
        ->capture_default_str()
        ->check(CLI::Range(1, 64));
    OnRun(serve, [=] { return Serve(*listen, *connections); });
}

}  // namespace mvtool
