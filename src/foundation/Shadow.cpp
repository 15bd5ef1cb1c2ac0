#include "foundation/Shadow.hpp"

#include "foundation/Crypto.hpp"

namespace veltrano {

const std::string& Shadow::getCurrentSalt() {
  if (!salt || salt->empty()) salt = randomHex(32);
  return *salt;
}

std::string Shadow::saltAndHash(std::string_view userPassword) {
  std::string salted = getCurrentSalt();
  salted += userPassword;
  return getHash(salted);
}

void Shadow::setPassword(std::string_view userPassword) { password = saltAndHash(userPassword); }

bool Shadow::isPasswordMatching(std::string_view userPassword) {
  std::string candidate = saltAndHash(userPassword);
  return password.has_value() && constantTimeEquals(*password, candidate);
}

}  // namespace veltrano
