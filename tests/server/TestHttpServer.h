// A small HTTP/1.1 server for tests, running inside the test process on 127.0.0.1.
//
// It serves a publication folder (GET and HEAD, with validators: ETag and Last-Modified,
// answering If-None-Match and, without it, If-Modified-Since with 304) and bodies that
// the test sets in memory, which win over files of the same path. Every request is
// recorded (method, path, headers, arrival time, the status answered) so a test can
// count fetches. Per path, a test can make the answer go wrong: another status, a delay, no
// or a wrong Content-Length, a connection reset after N body bytes, or a stall that
// holds the connection until a time passes or the test releases it.
//
// One thread accepts, one thread serves each connection (keep-alive is honoured while
// no fault breaks the framing), so hundreds of parallel downloads work. The listening
// socket uses SO_REUSEADDR, so consecutive tests can bind the same port.
//
// What it deliberately does not do: TLS, chunked encoding, ranges, compression unless a
// fault asks for it, or
// anything beyond what a download client needs. It is a test tool, not a web server:
// request heads are limited to 64 KiB and a whole file is read into memory per answer.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testserver {

// The port the product is built to use for every server role.
inline constexpr unsigned short kDefaultPort = VORNIS_TEST_PORT;
inline constexpr std::chrono::milliseconds kForever = std::chrono::milliseconds::max();

// How the answer for one path goes wrong. A default TFault changes nothing.
struct TFault {
  // Non-zero: answer with this status and a short HTML error page instead of the content.
  int Status = 0;
  // Wait this long after reading the request before answering.
  std::chrono::milliseconds Delay{0};
  // Send no Content-Length: the body ends when the server closes the connection.
  bool NoContentLength = false;
  // >= 0: announce this Content-Length while sending the real body (shorter or longer
  // than announced), then close the connection.
  long long AnnouncedLength = -1;
  // >= 0: send the head and this many body bytes, then reset the connection (RST).
  long long ResetAfterBytes = -1;
  // >= 0: after the head and this many body bytes, hold the connection for StallTime or
  // until ReleaseStalls() or the server stops; then send the rest of the body.
  long long StallAfterBytes = -1;
  std::chrono::milliseconds StallTime = kForever;
  // "gzip" or "deflate" (raw DEFLATE data, as WinINet reads it): send the body
  // compressed with this Content-Encoding, whatever the request accepts. Length faults
  // apply to the compressed body.
  std::string Encoding = {};
  // Send neither ETag nor Last-Modified, and answer conditional requests in full.
  bool NoValidators = false;
  // Apply to this many requests of the path, then drop the fault; -1 = every request.
  int Times = -1;
};

// One request as the server read it.
struct TRequest {
  std::string Method;
  std::string Target;   // as sent, query included
  std::string Path;     // percent-decoded UTF-8, without the query
  std::string Headers;  // the header lines, each ended by CR LF
  std::chrono::steady_clock::time_point Time;
  int Status = 0;  // of the answer; 0 until its head has been decided

  // The value of the first header of that name (case-insensitive), "" when absent.
  std::string Header(std::string_view name) const;
};

class TTestHttpServer {
 public:
  // Starts listening on 127.0.0.1:port (0 = any free port, see Port()) and serving
  // `root` (empty = in-memory bodies only). Throws std::runtime_error when the port
  // cannot be bound.
  explicit TTestHttpServer(std::wstring root = {}, unsigned short port = kDefaultPort);
  // Stops accepting, ends every connection (stalls and delays included), joins all
  // threads.
  ~TTestHttpServer();
  TTestHttpServer(const TTestHttpServer&) = delete;
  TTestHttpServer& operator=(const TTestHttpServer&) = delete;

  unsigned short Port() const;
  // "http://127.0.0.1:PORT" + path; path starts with "/".
  std::wstring Url(std::string_view path) const;
  std::string UrlA(std::string_view path) const;

  // In-memory content of a path ("/zip/a.zip"); replaces any earlier body of that path.
  void SetBody(const std::string& path, std::string body,
               std::string contentType = "application/octet-stream");
  void RemoveBody(const std::string& path);
  // From now on a ".sig" path is answered from the folder like any file, not signed by
  // the server: for publications that carry their own signatures.
  void ServeSignatureFiles();

  void SetFault(const std::string& path, TFault fault);
  void ClearFault(const std::string& path);
  void ClearFaults();

  // Lets every stalled connection go on; new stalls still happen.
  void ReleaseStalls();
  // Number of connections held by a stall right now.
  int StalledCount() const;
  // Waits until at least `count` connections are stalled; false on time-out.
  bool WaitForStalls(int count, std::chrono::milliseconds timeout) const;

  std::vector<TRequest> Requests() const;
  // Requests of that path so far (any method).
  int RequestCount(std::string_view path) const;
  // Waits until at least `count` requests of the path arrived; false on time-out.
  bool WaitForRequests(std::string_view path, int count, std::chrono::milliseconds timeout) const;
  void ClearRequests();

 private:
  class TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace testserver
