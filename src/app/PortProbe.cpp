#include "app/PortProbe.hpp"

#include <httplib.h>

#include "http/AuthHandlers.hpp"

namespace veltrano {

bool isPortUsedByUs(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(1, 0);
  client.set_read_timeout(1, 0);
  client.set_write_timeout(1, 0);
  auto result = client.Get("/whoami");
  return result && result->body == WHO_AM_I;
}

}  // namespace veltrano
