#include "text/text_ops.h"

#include <gtest/gtest.h>
