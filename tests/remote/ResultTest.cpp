#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <variant>

#include "remote/NetworkState.hpp"
#include "remote/ResponseBody.hpp"
#include "remote/Result.hpp"

namespace veltrano {
namespace {

template <typename F>
std::string failureText(F&& call) {
  try {
    call();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(Result, HoldsEitherValueOrError) {
  auto ok = Result<int, std::string>::Ok(7);
  EXPECT_TRUE(ok.isOk());
  EXPECT_EQ(ok.getValue(), 7);
  EXPECT_EQ(failureText([&] { ok.getError(); }), "Called getError() on an ok Result");

  auto err = Result<int, std::string>::Err("x");
  EXPECT_FALSE(err.isOk());
  EXPECT_EQ(err.getError(), "x");
  EXPECT_EQ(failureText([&] { err.getValue(); }), "Called getValue() on an error Result: x");
}

TEST(Result, OkWithoutValueIsOk) {
  auto done = Result<std::monostate, std::string>::Ok();
  EXPECT_TRUE(done.isOk());
  EXPECT_NO_THROW(done.getValue());
}

TEST(Result, SameTypeForValueAndErrorKeepsTheSides) {
  using Reply = Result<std::string, std::string>;
  EXPECT_TRUE(Reply::Ok("body").isOk());
  EXPECT_FALSE(Reply::Err("body").isOk());
}

TEST(Result, MisuseMessageShowsTheErrorBodyAsText) {
  using Reply = Result<ResponseBody, ResponseBody>;
  const auto jsonError =
      Reply::Err(ResponseBody(std::in_place_type<Json>, Json{{"error", "gone"}}));
  EXPECT_EQ(failureText([&] { jsonError.getValue(); }),
            R"(Called getValue() on an error Result: {"error":"gone"})");
  const auto raw = Reply::Err(ResponseBody(std::in_place_type<RawBytes>, RawBytes{"abc"}));
  EXPECT_EQ(failureText([&] { raw.getValue(); }),
            "Called getValue() on an error Result: <3 bytes>");
}

TEST(Result, PropagatedErrorKeepsItsValue) {
  auto failed = Result<int, std::string>::Err("refused");
  auto passed = std::move(failed).propagateError<std::monostate>();
  ASSERT_FALSE(passed.isOk());
  EXPECT_EQ(passed.getError(), "refused");
}

TEST(NetworkState, TextFormsRoundTrip) {
  const struct {
    NetworkState state;
    const char* text;
  } cases[] = {
      {NetworkState::UNKNOWN, "unknown"}, {NetworkState::OK, "ok"}, {NetworkState::ERROR, "error"}};
  for (const auto& c : cases) {
    EXPECT_EQ(toString(c.state), c.text);
    EXPECT_EQ(networkStateFromString(c.text), c.state) << c.text;
  }
  EXPECT_THROW(networkStateFromString("OK"), std::invalid_argument);
}

}  // namespace
}  // namespace veltrano
