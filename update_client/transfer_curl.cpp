// The update-site transfer over libcurl.
//
// How libcurl's callbacks become transfer phases:
//
//   resolving name      CURLOPT_RESOLVER_START_FUNCTION: a name lookup starts
//                       (libcurl calls it for an address too, but then nothing
//                       is looked up, so the phases go straight to connecting)
//   name resolved       the first connect attempt after a lookup
//   connecting          CURLOPT_SOCKOPTFUNCTION: a socket is about to connect
//                       (once per address tried)
//   connected           CURLOPT_PREREQFUNCTION: the connection is up, the
//   sending request       request goes out next
//   request sent        the first reply header line (the server answered)
//   receiving response    ... and its header block starts coming in
//   response received   the blank line that ends the header block
//   closing connection  CURLOPT_CLOSESOCKETFUNCTION on the connected socket
//   connection closed     (before and after the close itself)
//   request complete    never: it belongs to asynchronous operation, which
//                       this transfer does not use
//
// The connection is not kept for reuse (one request per check), so it closes
// as soon as the reply is in, before the transfer returns.
//
// The one request is driven through a multi handle rather than
// curl_easy_perform, which waits up to a second between callbacks while the
// line is quiet: this way the observer is asked every kPollInterval, also while
// connecting or when the server stalls.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "update_client/transfer.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What the request's callbacks need.
struct State {
  TransferObserver* observer = nullptr;
  char* buffer = nullptr;
  std::size_t size = 0;
  std::size_t total = 0;
  bool full = false;          // more body came than the buffer holds
  bool numeric_host = false;  // the host is an address: no name to look up
  bool resolving = false;     // a name lookup was started, "found" not yet reported
  bool connected = false;     // the request's connection is up and not yet closed
  bool request_out = false;   // the request went out on a connection
  bool body_started = false;  // some of the reply body came in
  bool headers_started = false;
  char error[CURL_ERROR_SIZE] = {};

  void Report(TransferPhase phase) const {
    if (observer) observer->OnPhase(phase, total);
  }
};

int OnResolverStart(void*, void*, void* data) {
  auto* state = static_cast<State*>(data);
  if (state->numeric_host) return 0;
  state->resolving = true;
  state->Report(TransferPhase::kResolvingName);
  return 0;
}

int OnSocketOptions(void* data, curl_socket_t, curlsocktype purpose) {
  auto* state = static_cast<State*>(data);
  if (purpose == CURLSOCKTYPE_IPCXN) {
    if (state->resolving) {
      state->resolving = false;
      state->Report(TransferPhase::kNameResolved);
    }
    state->Report(TransferPhase::kConnecting);
  }
  return CURL_SOCKOPT_OK;
}

int OnConnected(void* data, char*, char*, int, int) {
  auto* state = static_cast<State*>(data);
  state->connected = true;
  state->request_out = true;
  state->Report(TransferPhase::kConnected);
  state->Report(TransferPhase::kSendingRequest);
  return CURL_PREREQFUNC_OK;
}

// Losing connect attempts are closed before the connection counts as made, so
// a close after that is the connection's own.
int OnCloseSocket(void* data, curl_socket_t socket) {
  auto* state = static_cast<State*>(data);
  if (!state->connected) return ::close(socket);
  state->connected = false;
  state->Report(TransferPhase::kClosingConnection);
  int result = ::close(socket);
  state->Report(TransferPhase::kConnectionClosed);
  return result;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<State*>(user);
  const std::size_t length = size * count;
  if (!state->headers_started) {
    state->headers_started = true;
    state->Report(TransferPhase::kRequestSent);
    state->Report(TransferPhase::kReceivingResponse);
  }
  if (length > 0 && (data[0] == '\r' || data[0] == '\n')) {
    state->Report(TransferPhase::kResponseReceived);
    state->headers_started = false;  // a 1xx block may be followed by the real one
  }
  return length;
}

// Copies the body into the fixed buffer and stops the transfer as soon as more
// arrives than it holds, so the rest is never read.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<State*>(user);
  const std::size_t length = size * count;
  state->body_started = true;
  const std::size_t room = state->size - 1 - state->total;
  const std::size_t take = std::min(length, room);
  std::memcpy(state->buffer + state->total, data, take);
  state->total += take;
  state->buffer[state->total] = '\0';
  if (take < length) {
    state->full = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return length;
}

// The request's header lines: the given block, each line on its own, and
// no-cache requests so no cache on the way answers in the server's place.
curl_slist* RequestHeaders(const std::string& block) {
  curl_slist* list = nullptr;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    if (end > start) list = curl_slist_append(list, block.substr(start, end - start).c_str());
    start = end + 2;
  }
  list = curl_slist_append(list, "Cache-Control: no-cache");
  list = curl_slist_append(list, "Pragma: no-cache");
  return list;
}

TransferOutcome OutcomeOf(CURLcode result, CURL* easy, const State& state, bool cancelled) {
  TransferOutcome outcome;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &outcome.http_status);
  if (cancelled) {
    outcome.failure = TransferFailure::kCancelled;
    return outcome;
  }
  if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && state.full)) return outcome;
  long os_errno = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_errno);
  auto other = [&outcome](std::string detail) {
    outcome.failure = TransferFailure::kOther;
    outcome.detail = std::move(detail);
  };
  switch (result) {
    case CURLE_URL_MALFORMAT: outcome.failure = TransferFailure::kInvalidAddress; break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: outcome.failure = TransferFailure::kNameNotResolved; break;
    case CURLE_OPERATION_TIMEDOUT: outcome.failure = TransferFailure::kTimedOut; break;
    case CURLE_COULDNT_CONNECT:
      if (os_errno == ECONNREFUSED) {
        outcome.failure = TransferFailure::kConnectionRefused;
      } else if (os_errno != 0) {
        other(std::string("cannot connect: ") + std::strerror(static_cast<int>(os_errno)));
      } else {
        other("cannot connect");
      }
      break;
    case CURLE_OUT_OF_MEMORY:
      // libcurl refuses a header line larger than it buffers with this code;
      // before any body came, that is what happened.
      if (state.request_out && !state.body_started) {
        outcome.failure = TransferFailure::kHeaderTooLarge;
      } else {
        other("out of memory");
      }
      break;
    case CURLE_GOT_NOTHING: other("the site closed the connection without a reply"); break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL: other("the reply is not HTTP"); break;
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR: other("the connection broke off"); break;
    default: other(state.error[0] ? state.error : curl_easy_strerror(result)); break;
  }
  return outcome;
}

bool IsNumericHost(std::string host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

const TransferOutcome kNotSetUp{TransferFailure::kOther, 0, "the HTTP client could not be set up"};

}  // namespace

UrlParts SplitUrl(const std::string& url) {
  InitCurlOnce();
  UrlParts parts;
  CURLU* handle = curl_url();
  if (!handle) return parts;
  if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* text = nullptr;
    if (curl_url_get(handle, CURLUPART_HOST, &text, 0) == CURLUE_OK) parts.host = text;
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_PORT, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      parts.port = std::atoi(text);
    }
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_PATH, &text, 0) == CURLUE_OK) parts.object = text;
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_QUERY, &text, 0) == CURLUE_OK) {
      parts.object += std::string("?") + text;
    }
    curl_free(text);
  }
  curl_url_cleanup(handle);
  return parts;
}

TransferResult RunTransfer(const TransferRequest& request, char* buffer, std::size_t size,
                           TransferObserver* observer, const TransferTimeouts& timeouts) {
  InitCurlOnce();
  buffer[0] = '\0';
  State state;
  state.observer = observer;
  state.buffer = buffer;
  state.size = size;
  state.numeric_host = IsNumericHost(request.host);

  CURLM* multi = curl_multi_init();
  CURL* easy = curl_easy_init();
  if (!easy || !multi) {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    return {kNotSetUp, 0};
  }
  const std::string url =
      "http://" + request.host + ":" + std::to_string(request.port) + request.object;
  curl_slist* headers = RequestHeaders(request.headers);

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, request.agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // libcurl's receive buffer about as large as what is kept (within the sizes
  // it takes), so little more of a long body is read than is used.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                   static_cast<long>(std::clamp<std::size_t>(size, 1024, 512 * 1024)));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.whole.count()));
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, state.error);
  curl_easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, OnResolverStart);
  curl_easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, &state);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, OnSocketOptions);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, &state);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &state);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &state);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);

  TransferResult transfer;
  CURLcode result = CURLE_FAILED_INIT;
  bool cancelled = false;
  if (curl_multi_add_handle(multi, easy) == CURLM_OK) {
    auto last_poll = std::chrono::steady_clock::now();
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) break;
      int left = 0;
      bool done = false;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          result = message->data.result;
          done = true;
        }
      }
      if (done || running == 0) break;

      auto since = std::chrono::steady_clock::now() - last_poll;
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kPollInterval - since);
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long>(wait.count(), 0)),
                      nullptr);
      if (observer && std::chrono::steady_clock::now() - last_poll >= kPollInterval) {
        last_poll = std::chrono::steady_clock::now();
        if (observer->CancelRequested()) {
          cancelled = true;
          break;
        }
      }
    }
    transfer.outcome = OutcomeOf(result, easy, state, cancelled);
    curl_multi_remove_handle(multi, easy);
  } else {
    transfer.outcome = {TransferFailure::kOther, 0, "the request could not be started"};
  }
  curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);
  curl_slist_free_all(headers);
  transfer.bytes = state.total;
  return transfer;
}
