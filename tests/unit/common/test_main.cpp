// Unit tests run on a fresh emulated machine of their own: the machine root is a
// new temporary folder, set before anything touches the platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  char root[] = "/tmp/pw-unit-XXXXXX";
  if (!::mkdtemp(root)) return 2;
  ::setenv("PW_MACHINE_ROOT", root, 1);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  std::string cleanup = std::string("rm -rf '") + root + "'";
  if (std::system(cleanup.c_str()) != 0) rc = rc ? rc : 0;
  return rc;
}
