// Whole small documents from the update server (the catalogue, signatures), read
// synchronously on the calling thread.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "base/Exception.h"

namespace download {

class EFetchError : public Exception {
 public:
  explicit EFetchError(std::string message, bool unreachable = false)
      : Exception(std::move(message)), FUnreachable(unreachable) {}
  // The server could not be reached or did not serve: no connection, a name that does
  // not resolve, a time-out, a connection lost mid-body, or a 5xx answer. False when
  // the server answered and what it said was refused.
  bool Unreachable() const { return FUnreachable; }

 private:
  bool FUnreachable;
};

// GETs `url` past every cache and returns the body. Throws EFetchError, with a message
// that names the document by `what` ("UI 清單"...), when the server cannot be reached,
// answers other than 200, cuts the body short of its Content-Length, or sends more than
// `maxBytes`.
std::string FetchBytes(const std::wstring& url, size_t maxBytes, const std::string& what);

}  // namespace download
