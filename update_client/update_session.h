#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "update_client/transfer.h"

class CHttpConnection;

// The status codes of the HTTP client's notifications, numbered as WinINet
// numbers them; the eleven the session turns into phases.
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

// The internet session of one update check: owns the HTTP connection and passes
// the transfer's phases on to its observer (which may be null: phases then go
// nowhere, as when the dialog could not be created). Connection phases pass
// only while notifications are enabled.
class CUpdateSession : private TransferObserver {
 public:
  static constexpr const char* kAgentName = "Velmora Update Program";

  explicit CUpdateSession(TransferObserver* observer = nullptr, TransferTimeouts timeouts = {});
  virtual ~CUpdateSession();
  CUpdateSession(const CUpdateSession&) = delete;
  CUpdateSession& operator=(const CUpdateSession&) = delete;

  // A status notification: while notifications are enabled, the eleven
  // statuses above become their phases; any other code changes nothing.
  virtual void OnStatusCallback(unsigned status);

  // Tells the observer a phase of the transfer itself (not a connection phase),
  // whether notifications are enabled or not.
  void Report(TransferPhase phase, std::size_t bytes = 0);

  void EnableStatusCallback(bool enabled) { notifications_ = enabled; }

  // Opens the connection to host and port (no network traffic yet); the session
  // holds it until CloseConnection.
  CHttpConnection* GetHttpConnection(const std::string& host, int port);
  CHttpConnection* Connection() { return connection_.get(); }
  void CloseConnection();

  // Ends the session: the connection is closed and notifications stop.
  void Close();

  // The observer a request reports to: connection phases pass while
  // notifications are enabled; cancel is asked of the session's observer.
  TransferObserver* RequestObserver() { return this; }
  const TransferTimeouts& Timeouts() const { return timeouts_; }
  const TransferOutcome& LastOutcome() const { return outcome_; }
  void SetOutcome(TransferOutcome outcome) { outcome_ = std::move(outcome); }

 private:
  void OnPhase(TransferPhase phase, std::size_t bytes) override;
  bool CancelRequested() override;

  TransferObserver* observer_;
  TransferTimeouts timeouts_;
  bool notifications_ = false;
  TransferOutcome outcome_;
  std::unique_ptr<CHttpConnection> connection_;
};

// An open HTTP connection of a session: host and port.
class CHttpConnection {
 public:
  CHttpConnection(CUpdateSession& session, std::string host, int port)
      : session_(session), host_(std::move(host)), port_(port) {}
  CHttpConnection(const CHttpConnection&) = delete;
  CHttpConnection& operator=(const CHttpConnection&) = delete;

  CUpdateSession& Session() { return session_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }

 private:
  CUpdateSession& session_;
  std::string host_;
  int port_;
};

// Sends one GET for object (path and query) on the connection, with the update
// site's header block, no redirect followed and the status ignored, and reads
// the body into buffer: at most size - 1 bytes, always followed by a NUL; the
// rest of a longer body is never read. Returns the number of body bytes read.
// A failure (also a time-out or a cancel) ends the request at once and returns
// what was read before it; the session's LastOutcome says what happened.
std::size_t ReadReply(CHttpConnection& connection, const std::string& object, char* buffer,
                      std::size_t size);

// Runs the transfer of an update check: kStarting, the connection's phases,
// then kReplyRead and kFinished, whatever happened. Returns the reply text
// (empty when nothing could be read); the connection stays open for the caller
// to close.
std::string FetchUpdateSite(CUpdateSession& session, const std::string& url);
