#include "http_daemon.h"

#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <thread>
#include <vector>

#include "connection_watch.h"
#include "head_checks.h"
#include "work_queue.h"

namespace qelo::service {

using Clock = std::chrono::steady_clock;

// What is known of one request, from its request line to its completion. A connection carries
// one request at a time, so one of these per connection is reused.
struct RequestState {
  // kWorking: the handler runs on a worker while the library holds the connection suspended;
  // kReplyReady: the reply waits for the library to take it.
  enum class Phase { kHead, kBody, kWorking, kReplyReady, kAnswered };
  Phase phase = Phase::kHead;
  std::string target;
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  HttpReply reply;
  Clock::time_point start;
  int status = 0;
};

namespace {

constexpr int kBacklog = 512;
// Descriptors kept free of connections for the index, skin files and the library itself; each
// connection takes two (the library's socket and the watch's duplicate).
constexpr size_t kSpareDescriptors = 64;

// Control bytes shown as '?', so a request cannot forge or break a log line.
std::string Printable(std::string_view s) {
  std::string out(s.substr(0, 2000));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

// The state the library keeps for us per connection, from its start to its close.
struct ConnectionState {
  RequestState request;
};

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// True when `a` and `b` differ at most in the case of ASCII letters.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

MHD_Result CollectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
  static_cast<RequestState*>(cls)->headers.emplace_back(key, value ? value : "");
  return MHD_YES;
}

std::optional<std::string_view> HeaderOf(const RequestState& r, std::string_view name) {
  for (const auto& [key, value] : r.headers) {
    if (SameName(key, name)) return value;
  }
  return std::nullopt;
}

unsigned Seconds(std::chrono::milliseconds ms) {
  return static_cast<unsigned>(std::max<long long>(1, (ms.count() + 999) / 1000));
}

// Connections that fit in the process's descriptors.
size_t ConnectionLimit(size_t wanted) {
  rlimit lim{};
  if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return wanted;
  const size_t fit =
      lim.rlim_cur > 2 * kSpareDescriptors ? (lim.rlim_cur - kSpareDescriptors) / 2 : 16;
  return std::min(wanted, fit);
}

HttpReply Refused(const Refusal& r) {
  HttpReply reply;
  reply.status = r.status;
  reply.body = std::string(r.reason) + "\n";
  return reply;
}

}  // namespace

// The library's callbacks, each with the daemon as its closure.
struct HttpDaemon::Callbacks {
  static void OnConnection(void* cls, MHD_Connection* c, void** socket_context,
                           MHD_ConnectionNotificationCode code) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      auto state = std::make_unique<ConnectionState>();
      const MHD_ConnectionInfo* info =
          MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
      // The watch holds the head and body deadlines; the library's own timeout is for replies
      // (and stays on for all phases of a connection the watch could not take).
      if (info && self.watch_->Opened(state.get(), info->connect_fd)) {
        MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, 0u);
      }
      *socket_context = state.release();
    } else {
      // Taken back: the library closes a connection exactly once after starting it.
      std::unique_ptr<ConnectionState> state(static_cast<ConnectionState*>(*socket_context));
      *socket_context = nullptr;
      if (state) self.watch_->Closed(state.get());
    }
  }

  static ConnectionState* StateOf(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionState*>(info->socket_context) : nullptr;
  }

  static void* OnRequestLine(void* cls, const char* uri, MHD_Connection* c) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    ConnectionState* state = StateOf(c);
    if (!state) return nullptr;
    RequestState& r = state->request;
    r = RequestState{};
    r.target = uri;
    r.start = Clock::now();
    self.watch_->RequestBegun(state, Printable(r.target));
    return state;
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method,
                              const char*, const char* upload_data, size_t* upload_data_size,
                              void** req_cls) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    auto* state = static_cast<ConnectionState*>(*req_cls);
    if (!state) return MHD_NO;
    RequestState& r = state->request;
    switch (r.phase) {
      case RequestState::Phase::kHead:
        return HeadArrived(self, c, *state, method);
      case RequestState::Phase::kBody:
        if (*upload_data_size > 0) {
          if (r.body.size() + *upload_data_size > self.options_.max_body_bytes) return MHD_NO;
          r.body.append(upload_data, *upload_data_size);
          *upload_data_size = 0;
          return MHD_YES;
        }
        if (!self.watch_->RequestDone(state)) return MHD_NO;
        return Answer(self, c, *state, url);
      case RequestState::Phase::kWorking:
        return MHD_YES;  // not expected while suspended; the reply is still being made
      case RequestState::Phase::kReplyReady:
        r.phase = RequestState::Phase::kAnswered;
        return Queue(self, c, r, std::move(r.reply), false);
      case RequestState::Phase::kAnswered:
        // A refusal was queued before the body; whatever the library still hands over is dropped.
        *upload_data_size = 0;
        return MHD_YES;
    }
    return MHD_NO;
  }

  static void OnCompleted(void* cls, MHD_Connection* c, void** req_cls,
                          MHD_RequestTerminationCode) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    auto* state = static_cast<ConnectionState*>(*req_cls);
    if (!state) return;
    RequestState& r = state->request;
    if (r.status != 0 && self.log_) {
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - r.start).count();
      self.log_(Printable(r.method + " " + r.target) + " " + std::to_string(r.status) + " " +
                std::to_string(ms) + "ms");
    }
    r = RequestState{};
    if (self.watch_->ReplySent(state))
      MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, 0u);
  }

  static MHD_Result HeadArrived(HttpDaemon& self, MHD_Connection* c, ConnectionState& state,
                                const char* method) {
    RequestState& r = state.request;
    r.method = method;
    self.watch_->RequestBegun(&state, Printable(r.method + " " + r.target));
    MHD_get_connection_values(c, MHD_HEADER_KIND, &CollectHeader, &r);
    bool has_transfer_coding = false;
    std::vector<std::string_view> lengths;
    for (const auto& [key, value] : r.headers) {
      if (SameName(key, "transfer-encoding")) has_transfer_coding = true;
      if (SameName(key, "content-length")) lengths.emplace_back(value);
    }
    if (const auto refusal =
            RefuseBeforeBody(has_transfer_coding, lengths, self.options_.max_body_bytes)) {
      if (!self.watch_->RequestDone(&state)) return MHD_NO;
      r.phase = RequestState::Phase::kAnswered;
      return Queue(self, c, r, Refused(*refusal), true);
    }
    // Lengths passed the checks, so any given are one plain decimal.
    const bool body_expected =
        !lengths.empty() && lengths.front().find_first_not_of("0 \t") != std::string_view::npos;
    if (!self.watch_->HeadDone(&state, body_expected)) return MHD_NO;
    r.phase = RequestState::Phase::kBody;
    return MHD_YES;
  }

  // Hands the whole request to a worker and holds the connection until its reply is made, so
  // a slow request occupies a worker rather than every connection of a library thread.
  static MHD_Result Answer(HttpDaemon& self, MHD_Connection* c, ConnectionState& state,
                           const char* url) {
    RequestState& r = state.request;
    r.path = url;
    // Counted before the check, so Run either sees this request in flight or it sees Run
    // stopping: no connection is left suspended when the library stops.
    ++self.in_flight_;
    if (self.stopping_) {
      --self.in_flight_;
      r.phase = RequestState::Phase::kAnswered;
      return Queue(self, c, r, self.Handle(r), true);
    }
    r.phase = RequestState::Phase::kWorking;
    MHD_suspend_connection(c);
    self.workers_->Post([&self, c, &r] {
      r.reply = self.Handle(r);
      r.phase = RequestState::Phase::kReplyReady;
      MHD_resume_connection(c);
      --self.in_flight_;
    });
    return MHD_YES;
  }

  // Hands `reply` to the library; `close` ends the connection after it.
  static MHD_Result Queue(HttpDaemon& self, MHD_Connection* c, RequestState& r, HttpReply reply,
                          bool close) {
    MHD_Response* res = nullptr;
    if (reply.file) {
      res = MHD_create_response_from_fd_at_offset64(reply.file_length, reply.file.get(),
                                                    reply.file_offset);
      if (res) [[maybe_unused]]
        const int owned_by_response = reply.file.release();
    } else {
      res = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                            MHD_RESPMEM_MUST_COPY);
    }
    if (!res) return MHD_NO;
    MHD_add_response_header(res, "Content-Type", reply.content_type.c_str());
    for (const auto& [name, value] : reply.headers)
      MHD_add_response_header(res, name.c_str(), value.c_str());
    if (close) MHD_add_response_header(res, "Connection", "close");
    MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, Seconds(self.options_.write_stall));
    r.status = reply.status;
    const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(reply.status), res);
    MHD_destroy_response(res);
    return queued;
  }

  static void OnLibraryMessage(void* cls, const char* format, va_list args) {
    auto& self = *static_cast<HttpDaemon*>(cls);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = "http: " + Printable(text);
    while (line.ends_with('?'))  // the library ends its messages with a line break
      line.pop_back();
    if (self.log_) self.log_(line);
  }
};

HttpReply HttpDaemon::Handle(const RequestState& r) {
  const HttpRequest request{.method = r.method,
                            .path = r.path,
                            .target = r.target,
                            .body = r.body,
                            .header = [&r](const char* name) { return HeaderOf(r, name); }};
  try {
    return handler_(request);
  } catch (const std::exception& e) {
    if (log_) log_(std::string("error: ") + e.what());
  }
  HttpReply reply;
  reply.status = 500;
  reply.body = "internal error";
  return reply;
}

HttpDaemon::HttpDaemon(HttpOptions options, Handler handler, LogSink log)
    : options_(options),
      handler_(std::move(handler)),
      log_(std::move(log)),
      watch_(std::make_unique<ConnectionWatch>(
          WatchOptions{.head_timeout = options.head_timeout, .body_timeout = options.body_timeout},
          log_)) {}

HttpDaemon::~HttpDaemon() = default;

int HttpDaemon::Bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0)
    return -1;
  int bound = -1;
  for (addrinfo* a = found; a != nullptr && bound < 0; a = a->ai_next) {
    UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) continue;
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), kBacklog) != 0)
      continue;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
    bound = addr.ss_family == AF_INET6
                ? ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port)
                : ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    listen_ = std::move(fd);
  }
  ::freeaddrinfo(found);
  return bound;
}

bool HttpDaemon::Run() {
  if (!listen_) return false;
  const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC |
                         MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
  const auto number = [](size_t n) { return static_cast<intptr_t>(n); };
  // A callback goes in as a number, its closure as the pointer.
  const auto callback = [](auto* function) { return reinterpret_cast<intptr_t>(function); };
  MHD_OptionItem items[] = {
      {MHD_OPTION_EXTERNAL_LOGGER, callback(&Callbacks::OnLibraryMessage), this},
      {MHD_OPTION_LISTEN_SOCKET, listen_.get(), nullptr},
      {MHD_OPTION_THREAD_POOL_SIZE, number(std::max<size_t>(options_.io_threads, 1)), nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, number(ConnectionLimit(options_.max_connections)), nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, number(options_.max_head_bytes), nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, number(Seconds(options_.write_stall)), nullptr},
      {MHD_OPTION_NOTIFY_CONNECTION, callback(&Callbacks::OnConnection), this},
      {MHD_OPTION_URI_LOG_CALLBACK, callback(&Callbacks::OnRequestLine), this},
      {MHD_OPTION_NOTIFY_COMPLETED, callback(&Callbacks::OnCompleted), this},
      {MHD_OPTION_END, 0, nullptr},
  };
  workers_ = std::make_unique<WorkQueue>(options_.threads);
  MHD_Daemon* daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Callbacks::OnRequest, this,
                                        MHD_OPTION_ARRAY, items, MHD_OPTION_END);
  if (!daemon) {
    workers_.reset();
    return false;
  }
  {
    std::unique_lock lock(mutex_);
    stop_cv_.wait(lock, [this] { return stop_; });
  }
  // Stop taking connections first; the socket stays ours and is closed after the library stops.
  if (MHD_quiesce_daemon(daemon) != listen_.get()) [[maybe_unused]]
    const int given_up = listen_.release();  // the library keeps and closes it
  // Requests still arriving are answered on the library's threads; those with the workers finish
  // and give their connections back before the library stops.
  stopping_ = true;
  while (in_flight_ > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  MHD_stop_daemon(daemon);
  workers_.reset();
  listen_ = UniqueFd();
  return true;
}

void HttpDaemon::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stop_cv_.notify_all();
}

}  // namespace qelo::service
