// Loading the skin package: whatever reading it throws, the skin data stays without a
// skin and the caller (the main window's construction) goes on.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "skin/SkinData.h"
#include "skin/SkinModel.h"
#include "skin/SkinWriter.h"

using namespace skin;

namespace {

class TFailingSkinData : public TSkinData {
 public:
  std::function<void()> Fail;

 protected:
  std::shared_ptr<TSkin> ReadPackage(std::span<const uint8_t> package) const override {
    if (Fail) Fail();
    return TSkinData::ReadPackage(package);
  }
};

}  // namespace

TEST(SkinDataLoad, AnyFailureOfTheReaderLeavesTheSkinOff) {
  const auto package = WritePackage(kSkinFormat, {{"s.ini", {'[', 'x', ']'}}});
  TFailingSkinData data;
  ASSERT_TRUE(data.LoadPackage(package));
  for (const std::function<void()>& fail : std::initializer_list<std::function<void()>>{
           [] { throw std::bad_alloc(); }, [] { throw std::length_error("x"); }, [] { throw 1; }}) {
    data.Fail = fail;
    EXPECT_FALSE(data.LoadPackage(package));
    EXPECT_FALSE(data.SkinLoaded());
  }
}
