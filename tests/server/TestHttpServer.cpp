// The test HTTP server: Winsock listener, one thread per connection, faults per path.
#include "TestHttpServer.h"
#include "TestSigner.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <optional>
#include <cstdio>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <chrono>
#include <thread>

namespace testserver {

namespace {

constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr size_t kSendChunkBytes = 16 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Trim(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string output;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      output += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      output += text[i];
    }
  }
  return output;
}

std::wstring WidenUtf8(std::string_view text) {
  if (text.empty()) return {};
  int count =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring output(count, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), output.data(), count);
  return output;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

std::string ContentTypeOf(std::string_view path) {
  struct TEntry {
    const char* Extension;
    const char* Type;
  };
  static const TEntry kTypes[] = {
      {".zip", "application/zip"}, {".xml", "text/xml"},   {".ini", "text/plain"},
      {".txt", "text/plain"},      {".html", "text/html"}, {".htm", "text/html"},
      {".php", "text/html"},       {".png", "image/png"},  {".bmp", "image/bmp"},
      {".jpg", "image/jpeg"},      {".gif", "image/gif"},  {".css", "text/css"},
  };
  size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) {
    for (const TEntry& entry : kTypes) {
      if (EqualsNoCase(path.substr(dot), entry.Extension)) return entry.Type;
    }
  }
  return "application/octet-stream";
}

// An HTTP date (RFC 1123, GMT) of a file time.
std::string HttpDate(FILETIME time) {
  SYSTEMTIME utc{};
  FileTimeToSystemTime(&time, &utc);
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02u %s %04u %02u:%02u:%02u GMT", kDays[utc.wDayOfWeek],
                utc.wDay, kMonths[utc.wMonth - 1], utc.wYear, utc.wHour, utc.wMinute, utc.wSecond);
  return text;
}

// Reads a whole file; false when it does not exist or is not a regular file.
bool ReadWholeFile(const std::wstring& path, std::string& content, std::string& etag,
                   std::string& lastModified) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok = GetFileInformationByHandle(file, &info) &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (ok) {
    unsigned long long size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    content.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (ok && done < content.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1 << 20));
      DWORD got = 0;
      ok = ReadFile(file, content.data() + done, chunk, &got, nullptr) && got > 0;
      done += got;
    }
    char tag[64];
    std::snprintf(tag, sizeof tag, "\"f%llx-%lx%lx\"", size, info.ftLastWriteTime.dwHighDateTime,
                  info.ftLastWriteTime.dwLowDateTime);
    etag = tag;
    lastModified = HttpDate(info.ftLastWriteTime);
  }
  CloseHandle(file);
  return ok;
}

// The body as a "gzip" or "deflate" content coding. "deflate" is sent as raw DEFLATE
// data, the form WinINet (on Windows and in Wine) decodes for that coding.
std::string Compress(const std::string& body, const std::string& encoding) {
  z_stream stream{};
  int windowBits = encoding == "gzip" ? 15 + 16 : -15;
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("test server: deflateInit2 failed");
  std::string output(deflateBound(&stream, static_cast<uLong>(body.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(output.data());
  stream.avail_out = static_cast<uInt>(output.size());
  int result = deflate(&stream, Z_FINISH);
  output.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("test server: deflate failed");
  return output;
}

bool SendAll(SOCKET socket, const char* data, size_t size) {
  while (size > 0) {
    int sent = send(socket, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

struct TBody {
  std::string Content;
  std::string ContentType;
  std::string ETag;
  std::string LastModified;
};

struct TConnection {
  SOCKET Socket = INVALID_SOCKET;  // INVALID_SOCKET once its thread has closed it
  std::thread Thread;
  std::atomic<bool> Done{false};
};

// What one answer sends, decided before the first byte goes out.
struct TAnswer {
  int Status = 200;
  std::string ContentType = "text/html";
  std::string Body;
  std::string ETag;
  std::string LastModified;
  bool SendBody = true;
  TFault Fault;
};

}  // namespace

std::string TRequest::Header(std::string_view name) const {
  size_t start = 0;
  while (start < Headers.size()) {
    size_t end = Headers.find("\r\n", start);
    if (end == std::string::npos) end = Headers.size();
    std::string_view line(Headers.data() + start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsNoCase(Trim(line.substr(0, colon)), name))
      return Trim(line.substr(colon + 1));
    start = end + 2;
  }
  return {};
}

class TTestHttpServer::TImpl {
 public:
  TImpl(std::wstring root, unsigned short port);
  ~TImpl();

  unsigned short FPort = 0;
  std::wstring FRoot;
  mutable std::mutex FMutex;
  mutable std::condition_variable FChanged;
  std::map<std::string, TBody> FBodies;
  std::map<std::string, TFault> FFaults;
  std::vector<TRequest> FRequests;
  unsigned long FBodyVersion = 0;
  unsigned long FStallGeneration = 0;
  int FStalled = 0;
  bool FStopping = false;
  bool FSignsFiles = true;

 private:
  void AcceptLoop();
  void Serve(TConnection& connection);
  bool ReadRequest(SOCKET socket, std::string& buffer, TRequest& request, bool& keepAlive);
  TAnswer Decide(const TRequest& request);
  // The content of a path: an in-memory body, else a file under the root.
  bool Lookup(const std::string& requestPath, TAnswer& answer);
  // Sends one answer; false when the connection must end (closed already or to close).
  // `index`: the request's place in FRequests, where its status is noted.
  bool Answer(TConnection& connection, const TRequest& request, size_t index, bool keepAlive);
  bool WaitUnlessStopping(std::chrono::milliseconds time);
  // Waits until the socket has data (or an end); false once the server stops. A recv
  // blocked on an idle keep-alive connection would not wake on shutdown() under Wine.
  bool WaitReadable(SOCKET socket);
  void Stall(std::chrono::milliseconds time);
  void CloseConnection(TConnection& connection, bool reset);

  WSADATA FWsaData{};
  SOCKET FListener = INVALID_SOCKET;
  std::thread FAcceptThread;
  std::list<TConnection> FConnections;  // guarded by FMutex
};

TTestHttpServer::TImpl::TImpl(std::wstring root, unsigned short port) : FRoot(std::move(root)) {
  if (WSAStartup(MAKEWORD(2, 2), &FWsaData) != 0)
    throw std::runtime_error("test server: WSAStartup failed");
  // A fixed port may still be held by another test process that is ending (the product's
  // port is shared by every journey); wait a while for it rather than fail at once.
  sockaddr_in address{};
  int error = 0;
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(port == kDefaultPort ? 240 : 0);
  for (;;) {
    FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL reuse = TRUE;
    setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof reuse);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int addressSize = sizeof address;
    if (FListener != INVALID_SOCKET &&
        bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(FListener, SOMAXCONN) == 0 &&
        getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &addressSize) == 0)
      break;
    error = WSAGetLastError();
    if (FListener != INVALID_SOCKET) closesocket(FListener);
    FListener = INVALID_SOCKET;
    bool busy = error == WSAEADDRINUSE || error == WSAEACCES;
    if (!busy || std::chrono::steady_clock::now() >= deadline) {
      WSACleanup();
      throw std::runtime_error("test server: cannot listen on 127.0.0.1:" + std::to_string(port) +
                               " (error " + std::to_string(error) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TTestHttpServer::TImpl::~TImpl() {
  {
    std::lock_guard lock(FMutex);
    FStopping = true;
  }
  FChanged.notify_all();
  closesocket(FListener);
  FAcceptThread.join();
  {
    std::lock_guard lock(FMutex);
    for (TConnection& connection : FConnections) {
      if (connection.Socket != INVALID_SOCKET) shutdown(connection.Socket, SD_BOTH);
    }
  }
  // No new connection can appear now; the list is only read below.
  for (TConnection& connection : FConnections) connection.Thread.join();
  WSACleanup();
}

void TTestHttpServer::TImpl::AcceptLoop() {
  for (;;) {
    SOCKET client = accept(FListener, nullptr, nullptr);
    std::lock_guard lock(FMutex);
    if (client == INVALID_SOCKET || FStopping) {
      if (client != INVALID_SOCKET) closesocket(client);
      if (FStopping) return;
      continue;
    }
    // Reap finished connections so long tests do not pile up threads.
    for (auto it = FConnections.begin(); it != FConnections.end();) {
      if (it->Done) {
        it->Thread.join();
        it = FConnections.erase(it);
      } else {
        ++it;
      }
    }
    TConnection& connection = FConnections.emplace_back();
    connection.Socket = client;
    connection.Thread = std::thread([this, &connection] { Serve(connection); });
  }
}

void TTestHttpServer::TImpl::CloseConnection(TConnection& connection, bool reset) {
  std::lock_guard lock(FMutex);
  if (connection.Socket == INVALID_SOCKET) return;
  if (reset) {
    linger hard{1, 0};
    setsockopt(connection.Socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
               sizeof hard);
  } else {
    shutdown(connection.Socket, SD_SEND);
  }
  closesocket(connection.Socket);
  connection.Socket = INVALID_SOCKET;
}

void TTestHttpServer::TImpl::Serve(TConnection& connection) {
  std::string buffer;
  for (;;) {
    TRequest request;
    bool keepAlive = true;
    if (!ReadRequest(connection.Socket, buffer, request, keepAlive)) break;
    size_t index;
    {
      std::lock_guard lock(FMutex);
      index = FRequests.size();
      FRequests.push_back(request);
    }
    FChanged.notify_all();
    if (!Answer(connection, request, index, keepAlive)) break;
  }
  CloseConnection(connection, false);
  connection.Done = true;
}

bool TTestHttpServer::TImpl::ReadRequest(SOCKET socket, std::string& buffer, TRequest& request,
                                         bool& keepAlive) {
  size_t headEnd;
  while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
    if (buffer.size() > kMaxHeadBytes) return false;
    if (!WaitReadable(socket)) return false;
    char chunk[4096];
    int received = recv(socket, chunk, sizeof chunk, 0);
    if (received <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(received));
  }
  request.Time = std::chrono::steady_clock::now();
  std::string head = buffer.substr(0, headEnd + 2);
  buffer.erase(0, headEnd + 4);

  size_t lineEnd = head.find("\r\n");
  std::string_view line(head.data(), lineEnd);
  size_t space1 = line.find(' ');
  size_t space2 = line.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
  if (space1 == std::string_view::npos || space2 == std::string_view::npos) return false;
  request.Method = std::string(line.substr(0, space1));
  request.Target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
  std::string_view version = line.substr(space2 + 1);
  request.Headers = head.substr(lineEnd + 2);
  std::string target = request.Target;
  if (target.rfind("http://", 0) == 0) {  // absolute form, as sent to a proxy
    size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  request.Path = PercentDecode(target.substr(0, target.find('?')));

  std::string connectionHeader = request.Header("Connection");
  keepAlive = version == "HTTP/1.1" ? !EqualsNoCase(connectionHeader, "close")
                                    : EqualsNoCase(connectionHeader, "keep-alive");
  // A request body (none expected from a download client) is read and dropped.
  std::string lengthText = request.Header("Content-Length");
  size_t bodyBytes = lengthText.empty() ? 0 : std::strtoull(lengthText.c_str(), nullptr, 10);
  while (buffer.size() < bodyBytes) {
    if (!WaitReadable(socket)) return false;
    char chunk[4096];
    int received = recv(socket, chunk, sizeof chunk, 0);
    if (received <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(received));
  }
  buffer.erase(0, bodyBytes);
  return true;
}

bool TTestHttpServer::TImpl::Lookup(const std::string& requestPath, TAnswer& answer) {
  {
    std::lock_guard lock(FMutex);
    auto body = FBodies.find(requestPath);
    if (body != FBodies.end()) {
      answer.Body = body->second.Content;
      answer.ContentType = body->second.ContentType;
      answer.ETag = body->second.ETag;
      answer.LastModified = body->second.LastModified;
      return true;
    }
  }
  if (FRoot.empty() || requestPath.find("..") != std::string::npos) return false;
  std::string relative = requestPath == "/" ? "/index.html" : requestPath;
  std::wstring path = FRoot + WidenUtf8(relative);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  answer.ContentType = ContentTypeOf(relative);
  return ReadWholeFile(path, answer.Body, answer.ETag, answer.LastModified);
}

TAnswer TTestHttpServer::TImpl::Decide(const TRequest& request) {
  TAnswer answer;
  bool found = false;
  {
    std::lock_guard lock(FMutex);
    auto fault = FFaults.find(request.Path);
    if (fault != FFaults.end()) {
      answer.Fault = fault->second;
      if (fault->second.Times > 0 && --fault->second.Times == 0) FFaults.erase(fault);
    }
  }
  // A detached signature that no test set in memory: the build's key signs what the
  // path names at this moment (a signature file in the folder may be of other bytes).
  constexpr std::string_view kSig = ".sig";
  if (request.Path.size() > kSig.size() && request.Path.ends_with(kSig)) {
    bool signs = false;
    {
      std::lock_guard lock(FMutex);
      signs = FSignsFiles && !FBodies.contains(request.Path);
    }
    TAnswer signedFile;
    std::optional<std::string> signature;
    if (signs && Lookup(request.Path.substr(0, request.Path.size() - kSig.size()), signedFile) &&
        (signature = SignForTests(signedFile.Body))) {
      answer.Body = std::move(*signature);
      answer.ContentType = "application/octet-stream";
      answer.ETag = "\"s" + std::to_string(std::hash<std::string>{}(signedFile.Body)) + "\"";
      found = true;
    }
  }
  if (!found) found = Lookup(request.Path, answer);

  answer.SendBody = request.Method != "HEAD";
  if (answer.Fault.NoValidators) {
    answer.ETag.clear();
    answer.LastModified.clear();
  }
  // If-None-Match decides when it is sent; If-Modified-Since only without it. Dates are
  // compared as text: the server only ever hands out its own.
  std::string noneMatch = request.Header("If-None-Match");
  bool notModified = !noneMatch.empty()
                         ? !answer.ETag.empty() && noneMatch == answer.ETag
                         : !answer.LastModified.empty() &&
                               request.Header("If-Modified-Since") == answer.LastModified;
  if (answer.Fault.Status != 0 || !found) {
    answer.Status = answer.Fault.Status != 0 ? answer.Fault.Status : 404;
    answer.ContentType = "text/html";
    answer.ETag.clear();
    answer.LastModified.clear();
    answer.Body = "<html><head><title>" + std::to_string(answer.Status) + " " +
                  ReasonPhrase(answer.Status) + "</title></head><body><h1>" +
                  ReasonPhrase(answer.Status) + "</h1><p>" + request.Path + "</p></body></html>\n";
  } else if (request.Method != "GET" && request.Method != "HEAD") {
    answer.Status = 405;
    answer.Body.clear();
    answer.ETag.clear();
    answer.LastModified.clear();
  } else if (notModified) {
    answer.Status = 304;
    answer.Body.clear();
  }
  if (answer.Status == 304) answer.SendBody = false;
  if (answer.Status == 200 && !answer.Fault.Encoding.empty())
    answer.Body = Compress(answer.Body, answer.Fault.Encoding);
  return answer;
}

bool TTestHttpServer::TImpl::WaitReadable(SOCKET socket) {
  for (;;) {
    {
      std::lock_guard lock(FMutex);
      if (FStopping) return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{0, 50 * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &wait);
    if (ready != 0) return true;  // data, end of stream or an error: recv tells which
  }
}

bool TTestHttpServer::TImpl::WaitUnlessStopping(std::chrono::milliseconds time) {
  std::unique_lock lock(FMutex);
  if (time == kForever) {
    FChanged.wait(lock, [this] { return FStopping; });
  } else {
    FChanged.wait_for(lock, time, [this] { return FStopping; });
  }
  return !FStopping;
}

void TTestHttpServer::TImpl::Stall(std::chrono::milliseconds time) {
  std::unique_lock lock(FMutex);
  unsigned long generation = FStallGeneration;
  ++FStalled;
  FChanged.notify_all();
  auto released = [&] { return FStopping || FStallGeneration != generation; };
  if (time == kForever) {
    FChanged.wait(lock, released);
  } else {
    FChanged.wait_for(lock, time, released);
  }
  --FStalled;
}

bool TTestHttpServer::TImpl::Answer(TConnection& connection, const TRequest& request, size_t index,
                                    bool keepAlive) {
  TAnswer answer = Decide(request);
  {
    std::lock_guard lock(FMutex);
    if (index < FRequests.size()) FRequests[index].Status = answer.Status;
  }
  const TFault& fault = answer.Fault;
  if (fault.Delay.count() > 0 && !WaitUnlessStopping(fault.Delay)) return false;

  bool breaksFraming = fault.NoContentLength || fault.AnnouncedLength >= 0 ||
                       fault.ResetAfterBytes >= 0 || fault.StallAfterBytes >= 0;
  keepAlive = keepAlive && !breaksFraming;
  std::string head =
      "HTTP/1.1 " + std::to_string(answer.Status) + " " + ReasonPhrase(answer.Status) + "\r\n";
  head += "Server: vornis-testserver\r\n";
  if (answer.Status != 304) head += "Content-Type: " + answer.ContentType + "\r\n";
  if (!fault.NoContentLength && answer.Status != 304) {
    long long announced = fault.AnnouncedLength >= 0 ? fault.AnnouncedLength
                                                     : static_cast<long long>(answer.Body.size());
    head += "Content-Length: " + std::to_string(announced) + "\r\n";
  }
  if (!answer.ETag.empty()) head += "ETag: " + answer.ETag + "\r\n";
  if (!answer.LastModified.empty()) head += "Last-Modified: " + answer.LastModified + "\r\n";
  if (answer.Status == 200 && !fault.Encoding.empty())
    head += "Content-Encoding: " + fault.Encoding + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  if (!SendAll(connection.Socket, head.data(), head.size())) return false;
  if (!answer.SendBody) return keepAlive;

  size_t total = answer.Body.size();
  size_t sent = 0;
  bool stalled = false;
  for (;;) {
    if (fault.StallAfterBytes >= 0 && !stalled &&
        sent == static_cast<size_t>(fault.StallAfterBytes)) {
      stalled = true;
      Stall(fault.StallTime);
      std::lock_guard lock(FMutex);
      if (FStopping) return false;
    }
    if (fault.ResetAfterBytes >= 0 && sent == static_cast<size_t>(fault.ResetAfterBytes)) {
      CloseConnection(connection, true);
      return false;
    }
    if (sent >= total) break;
    size_t next = std::min(total, sent + kSendChunkBytes);
    if (fault.StallAfterBytes >= 0 && !stalled && static_cast<size_t>(fault.StallAfterBytes) > sent)
      next = std::min(next, static_cast<size_t>(fault.StallAfterBytes));
    if (fault.ResetAfterBytes >= 0 && static_cast<size_t>(fault.ResetAfterBytes) > sent)
      next = std::min(next, static_cast<size_t>(fault.ResetAfterBytes));
    if (!SendAll(connection.Socket, answer.Body.data() + sent, next - sent)) return false;
    sent = next;
  }
  return keepAlive;
}

TTestHttpServer::TTestHttpServer(std::wstring root, unsigned short port)
    : FImpl(std::make_unique<TImpl>(std::move(root), port)) {}

TTestHttpServer::~TTestHttpServer() = default;

unsigned short TTestHttpServer::Port() const {
  return FImpl->FPort;
}

std::string TTestHttpServer::UrlA(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(FImpl->FPort) + std::string(path);
}

std::wstring TTestHttpServer::Url(std::string_view path) const {
  return WidenUtf8(UrlA(path));
}

void TTestHttpServer::SetBody(const std::string& path, std::string body, std::string contentType) {
  std::lock_guard lock(FImpl->FMutex);
  TBody& entry = FImpl->FBodies[path];
  entry.Content = std::move(body);
  entry.ContentType = std::move(contentType);
  entry.ETag = "\"b" + std::to_string(++FImpl->FBodyVersion) + "\"";
  // One second later for each new body, so no two versions share a date.
  ULARGE_INTEGER time{};
  time.QuadPart = 132223104000000000ULL + FImpl->FBodyVersion * 10000000ULL;  // from 2020
  entry.LastModified = HttpDate(FILETIME{time.LowPart, time.HighPart});
}

void TTestHttpServer::ServeSignatureFiles() {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FSignsFiles = false;
}

void TTestHttpServer::RemoveBody(const std::string& path) {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FBodies.erase(path);
}

void TTestHttpServer::SetFault(const std::string& path, TFault fault) {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FFaults[path] = fault;
}

void TTestHttpServer::ClearFault(const std::string& path) {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FFaults.erase(path);
}

void TTestHttpServer::ClearFaults() {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FFaults.clear();
}

void TTestHttpServer::ReleaseStalls() {
  {
    std::lock_guard lock(FImpl->FMutex);
    ++FImpl->FStallGeneration;
  }
  FImpl->FChanged.notify_all();
}

int TTestHttpServer::StalledCount() const {
  std::lock_guard lock(FImpl->FMutex);
  return FImpl->FStalled;
}

bool TTestHttpServer::WaitForStalls(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FImpl->FMutex);
  return FImpl->FChanged.wait_for(lock, timeout, [&] { return FImpl->FStalled >= count; });
}

std::vector<TRequest> TTestHttpServer::Requests() const {
  std::lock_guard lock(FImpl->FMutex);
  return FImpl->FRequests;
}

int TTestHttpServer::RequestCount(std::string_view path) const {
  std::lock_guard lock(FImpl->FMutex);
  return static_cast<int>(std::count_if(FImpl->FRequests.begin(), FImpl->FRequests.end(),
                                        [&](const TRequest& r) { return r.Path == path; }));
}

bool TTestHttpServer::WaitForRequests(std::string_view path, int count,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FImpl->FMutex);
  return FImpl->FChanged.wait_for(lock, timeout, [&] {
    return std::count_if(FImpl->FRequests.begin(), FImpl->FRequests.end(),
                         [&](const TRequest& r) { return r.Path == path; }) >= count;
  });
}

void TTestHttpServer::ClearRequests() {
  std::lock_guard lock(FImpl->FMutex);
  FImpl->FRequests.clear();
}

}  // namespace testserver
