#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

class TransferProgress;
class CHttpConnection;

// The connection phases the session is told about, numbered like the status
// notifications of the HTTP client the program was first written for, so the
// step table reads the same. How libcurl's phases map onto them is explained in
// update_session.cpp.
enum SessionStatus : unsigned {
  kStatusResolvingName = 10,
  kStatusNameResolved = 11,
  kStatusConnectingToServer = 20,
  kStatusConnectedToServer = 21,
  kStatusSendingRequest = 30,
  kStatusRequestSent = 31,
  kStatusReceivingResponse = 40,
  kStatusResponseReceived = 41,
  kStatusClosingConnection = 50,
  kStatusConnectionClosed = 51,
  kStatusRequestComplete = 100,
};

// Time-outs of one transfer; a check must never hang the program.
struct TransferTimeouts {
  std::chrono::milliseconds connect{10000};   // name lookup and connect
  std::chrono::milliseconds whole{30000};     // the whole request, start to end
};

enum class TransferFailure {
  kNone,
  kInvalidAddress,     // the URL names no host that can be asked
  kNameNotResolved,
  kConnectionRefused,
  kTimedOut,
  kCancelled,
  kHeaderTooLarge,     // the reply's header block is larger than the client takes
  kOther,
};

// How the last request of a session went. A failure is not an error of the
// update check (it goes on with what was read), but a command line tool tells
// the administrator why nothing came.
struct TransferOutcome {
  TransferFailure failure = TransferFailure::kNone;
  long http_status = 0;   // the reply's status code; 0 when none came
  std::string detail;     // what went wrong, for kOther
};

// One line saying why the reply is empty or not the page asked for ("connection
// refused", "HTTP status 404"); empty when the request went through with a 2xx.
std::string DescribeOutcome(const TransferOutcome& outcome);

// Whether a reply came back whole enough to use, with a 2xx status: no failure
// on the way (a body cut at the reply limit is not one).
bool ReachedSite(const TransferOutcome& outcome);

// The internet session of one update check: owns the HTTP connection and turns
// the connection phases into progress steps for the window (progress may be
// null: steps then go nowhere, as when the dialog could not be created).
class CUpdateSession {
 public:
  static constexpr const char* kAgentName = "Velmora Update Program";

  explicit CUpdateSession(TransferProgress* progress = nullptr, TransferTimeouts timeouts = {});
  virtual ~CUpdateSession();
  CUpdateSession(const CUpdateSession&) = delete;
  CUpdateSession& operator=(const CUpdateSession&) = delete;

  // A connection phase. While notifications are enabled, the eleven known
  // statuses become their progress steps; any other code changes nothing.
  virtual void OnStatusCallback(unsigned status);

  // Sends a step to the window, when there is one.
  void SetStep(unsigned string_id, int percent);

  void EnableStatusCallback(bool enabled) { notifications_ = enabled; }

  // Opens the connection to host and port (no network traffic yet); the session
  // holds it until CloseConnection. Null when the HTTP client cannot be set up.
  CHttpConnection* GetHttpConnection(const std::string& host, int port);
  CHttpConnection* Connection() { return connection_.get(); }
  void CloseConnection();

  // Ends the session: the connection is closed and notifications stop.
  void Close();

  TransferProgress* Progress() const { return progress_; }
  const TransferTimeouts& Timeouts() const { return timeouts_; }
  const TransferOutcome& LastOutcome() const { return outcome_; }
  void SetOutcome(TransferOutcome outcome) { outcome_ = std::move(outcome); }

 private:
  TransferProgress* progress_;
  TransferTimeouts timeouts_;
  bool notifications_ = false;
  TransferOutcome outcome_;
  std::unique_ptr<CHttpConnection> connection_;
};

// An open HTTP connection of a session: host and port, and the client state
// that outlives single requests.
class CHttpConnection {
 public:
  CHttpConnection(CUpdateSession& session, std::string host, int port);
  ~CHttpConnection();
  CHttpConnection(const CHttpConnection&) = delete;
  CHttpConnection& operator=(const CHttpConnection&) = delete;

  bool IsOpen() const;
  CUpdateSession& Session() { return session_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }

  struct Impl;
  Impl& State() { return *impl_; }

 private:
  CUpdateSession& session_;
  std::string host_;
  int port_;
  std::unique_ptr<Impl> impl_;
};

// Sends one GET for object (path and query) on the connection, with the update
// site's header block, no redirect followed and the status ignored, and reads
// the body into buffer: at most size - 1 bytes, always followed by a NUL; the
// rest of a longer body is never read. Returns the number of body bytes read.
// A failure (also a time-out or a cancel) ends the request at once and returns
// what was read before it; the session's LastOutcome says what happened.
std::size_t ReadReply(CHttpConnection& connection, const std::string& object, char* buffer,
                      std::size_t size);

// Runs the transfer of an update check: step 173 at 20, the connection's
// steps, then 149 at 50 and 155 at 80, whatever happened. Returns the reply text
// (empty when nothing could be read); the connection stays open for the caller
// to close.
std::string FetchUpdateSite(CUpdateSession& session, const std::string& url);
