#include <gtest/gtest.h>

#include "support/child.h"

int main(int argc, char** argv) {
  int code = 0;
  if (miradel::test::RunChildIfRequested(argc, argv, &code)) return code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
