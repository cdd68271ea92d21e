// Case-insensitive look-up on POSIX must prefer the exact name: two folders that differ only in
// letter case are two places.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

TEST(PosixCaseLookup, AnExactFolderWinsOverOneInAnotherCase) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file systems cannot hold both folders";
#else
  Env& env = System();
  test::TempDir dir;
  ASSERT_TRUE(env.CreateDirectory(dir / "Models").ok());
  // Through the port "models" is "Models": only the file system itself makes the second folder.
  EXPECT_EQ(env.CreateDirectory(dir / "models").kind(), ErrorKind::kAlreadyExists);
  ASSERT_TRUE(std::filesystem::create_directory(dir / "models"));
  std::string source = dir.Write("source.dat", "data");
  ASSERT_TRUE(env.CopyFile(source, dir / "models/new.dat", true).ok());
  EXPECT_TRUE(dir.Exists("models/new.dat"));
  EXPECT_FALSE(dir.Exists("Models/new.dat"));
  // A name that exists only in another case is still found.
  ASSERT_TRUE(env.CopyFile(source, dir / "MODELS/other.dat", true).ok());
  EXPECT_TRUE(dir.Exists("Models/other.dat") || dir.Exists("models/other.dat"));
#endif
}

}  // namespace
}  // namespace miradel::platform
