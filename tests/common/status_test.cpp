#include "common/status.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace sonvola {
namespace {

enum class Refusal { None, TooLong, Missing };

Result<std::unique_ptr<int>> makeValue(bool fail) {
    if (fail) return Status::error("err: none\n", Refusal::Missing);
    return std::make_unique<int>(7);
}

// A caller passes a failure on unchanged.
Status passOn(bool fail) {
    auto value = makeValue(fail);
    if (!value) return value.status();
    return {};
}

TEST(Status, OkAndFailureCarryTheirMessageAndCode) {
    Status ok;
    EXPECT_TRUE(ok.ok());
    EXPECT_TRUE(ok.message().empty());
    EXPECT_EQ(ok.code<Refusal>(), Refusal::None);

    Status plain = Status::error("no file");
    EXPECT_FALSE(plain);
    EXPECT_EQ(plain.message(), "no file");
    EXPECT_EQ(plain.code<Refusal>(), Refusal::None);

    Status coded = Status::error("too long", Refusal::TooLong);
    EXPECT_FALSE(coded.ok());
    EXPECT_EQ(coded.code<Refusal>(), Refusal::TooLong);
}

TEST(Status, ResultHoldsAMoveOnlyValueOrTheFailure) {
    auto good = makeValue(false);
    ASSERT_TRUE(good);
    EXPECT_TRUE(good.status().ok());
    EXPECT_EQ(**good, 7);
    std::unique_ptr<int> taken = std::move(good).value();
    EXPECT_EQ(*taken, 7);

    auto bad = makeValue(true);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.message(), "err: none\n");
    EXPECT_EQ(bad.code<Refusal>(), Refusal::Missing);

    Status passed = passOn(true);
    EXPECT_EQ(passed.message(), "err: none\n");
    EXPECT_EQ(passed.code<Refusal>(), Refusal::Missing);
    EXPECT_TRUE(passOn(false).ok());
}

}  // namespace
}  // namespace sonvola
