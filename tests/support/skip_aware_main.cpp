// main() of the Windows test programs. CTest registers each of them as one
// test, so a case that reports itself skipped (GTEST_SKIP: something Wine
// cannot show) would otherwise count as a pass. When every case that ran
// passed but some were skipped, the program ends with kSkippedExitCode,
// which the registrations declare as SKIP_RETURN_CODE; a failure still ends
// with 1.
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedExitCode = 77;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (RUN_ALL_TESTS() != 0) return 1;
  return ::testing::UnitTest::GetInstance()->skipped_test_count() > 0 ? kSkippedExitCode : 0;
}
