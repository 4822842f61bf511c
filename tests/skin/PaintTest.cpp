// Drawing skin images into real DIBs.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/SkinPaint.h"

using namespace skin;
using namespace skintest;
