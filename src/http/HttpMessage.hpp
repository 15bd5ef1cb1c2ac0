#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano {

// Header names compare without regard to case.
struct HeaderNameLess {
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};
using HttpHeaders = std::multimap<std::string, std::string, HeaderNameLess>;

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept;

// Query arguments, decoded, in the order given.
using QueryArguments = std::multimap<std::string, std::string>;

// One part of a multipart form: a text field (no file name) or a file's content.
struct FormPart {
  std::string name;
  std::string content;
  std::string filename;
  std::string contentType;
};
using FormParts = std::multimap<std::string, FormPart>;

// A request as the handlers see it: complete, decoded and within its route's limits.
struct HttpRequest {
  std::string method;
  std::string path;  // decoded, without the query
  HttpHeaders headers;
  QueryArguments params;
  std::string body;  // empty for a route that took its body as it arrived
  FormParts files;   // the parts of a multipart form body
  std::string remoteAddress;
  std::vector<std::string> pathParameters;  // the route pattern's groups, from 1 (0 is the path)

  bool hasHeader(std::string_view name) const;
  // The first value of the header, "" when there is none.
  std::string header(std::string_view name) const;
  bool isMultipartForm() const;
};

// Takes a body as it arrives, on the event loop, instead of holding it in memory.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // False stops the reading: the request goes to its handler as it is, and the connection
  // closes after the answer.
  virtual bool write(std::string_view bytes) = 0;
};

// An open event stream to one browser. Any thread.
class EventChannel {
 public:
  virtual ~EventChannel() = default;
  // Queues a text to send; false once the stream has ended.
  virtual bool send(std::string text) = 0;
  // False once the browser has left or the stream was cut off.
  virtual bool isOpen() = 0;
};

// Produces a long answer piece by piece on a worker thread: appends the next piece to out
// (at most a few dozen KiB) and says whether more follows; throws to break the answer off.
using BodyProducer = std::function<bool(std::string& out)>;

// The answer to one request.
struct HttpResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Set for an answer too long to hold: the body comes from it instead. With a known length
  // the answer has a Content-Length, otherwise the connection closes after it.
  BodyProducer producer;
  std::optional<std::uint64_t> producedLength;
  // Set for an event stream: the connection stays open after the head, and this is called
  // with the channel to write to it.
  std::function<void(std::shared_ptr<EventChannel>)> eventStreamOpened;

  bool hasHeader(std::string_view name) const;
  std::string header(std::string_view name) const;
  // Replaces every earlier value of the header.
  void setHeader(std::string name, std::string value);
  void setContent(std::string content, std::string contentType);
  void setProducer(BodyProducer producer, std::string contentType,
                   std::optional<std::uint64_t> length);
};

// The standard text of a status ("Not Found" for 404).
std::string_view reasonPhrase(int status) noexcept;

}  // namespace veltrano
