#include "base/Exception.h"

#include <gtest/gtest.h>

TEST(Exception, CarriesItsMessageAsWhat) {
  try {
    throw Exception("Unable to write to C:\\x\\Config.ini");
  } catch (const std::exception& e) {
    EXPECT_STREQ("Unable to write to C:\\x\\Config.ini", e.what());
  }
}
