// Emptying the working folder: trees, missing folders, undeletable files,
// allocation failures and links that must not be followed.
#include "shell/empty_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/support_layer.h"
#include "support/win_test_files.h"

namespace sfx {
namespace {

using test::FileExists;
using test::FolderExists;
using test::ScratchFolder;
using test::Wide;
using test::WriteText;

// EmptyFolder on an ANSI test path.
bool Empty(const std::string& path) { return EmptyFolder(Wide(path).c_str()); }

// Folder that is emptied in a test, inside the scratch folder.
class EmptyFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = scratch_.path() + "work\\";
    ASSERT_TRUE(CreateDirectoryA(target_.c_str(), nullptr));
  }
  void TearDown() override { SetPathAllocationBudgetForTesting(-1); }

  void MakeFolder(const std::string& relative) { ASSERT_TRUE(CreateDirectoryA((target_ + relative).c_str(), nullptr)); }
  void MakeFile(const std::string& relative) { WriteText(target_ + relative, relative); }
  bool FolderIsEmpty() const { return test::IsEmptyFolder(target_); }

  ScratchFolder scratch_;
  std::string target_;
};

TEST_F(EmptyFolderTest, RemovesNestedTreeAndKeepsTheFolder) {
  MakeFile("top.txt");
  MakeFolder("a");
  MakeFile("a\\one.txt");
  MakeFolder("a\\b");
  MakeFolder("a\\b\\c");
  MakeFile("a\\b\\c\\deep.txt");
  MakeFolder("empty");
  EXPECT_TRUE(Empty(target_));
  EXPECT_TRUE(FolderExists(target_));
  EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(EmptyFolderTest, AcceptsPathWithoutTrailingBackslash) {
  MakeFile("x.txt");
  MakeFolder("sub");
  MakeFile("sub\\y.txt");
  const std::string without = target_.substr(0, target_.size() - 1);
  EXPECT_TRUE(Empty(without));
  EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(EmptyFolderTest, EmptyFolderIsSuccess) { EXPECT_TRUE(Empty(target_)); }

TEST_F(EmptyFolderTest, MissingFolderIsSuccessAndStaysMissing) {
  const std::string missing = scratch_.path() + "missing\\";
  EXPECT_TRUE(Empty(missing));
  EXPECT_FALSE(FolderExists(missing));
}

TEST_F(EmptyFolderTest, ReadOnlyFilesFoldersAndTheFolderItselfGo) {
  MakeFolder("keep");
  MakeFile("keep\\locked.txt");
  MakeFile("loose.txt");
  for (const char* name : {"keep\\locked.txt", "keep", "loose.txt", ""}) {
    ASSERT_TRUE(SetFileAttributesA((target_ + name).c_str(), FILE_ATTRIBUTE_READONLY)) << name;
  }
  EXPECT_TRUE(Empty(target_));
  EXPECT_FALSE(FolderExists(target_ + "keep"));
  EXPECT_FALSE(FileExists(target_ + "loose.txt"));
  EXPECT_EQ(GetFileAttributesA(target_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(EmptyFolderTest, FileHeldOpenFailsButTheWalkGoesOn) {
  MakeFile("held.txt");
  MakeFolder("later");
  MakeFile("later\\z.txt");
  HANDLE held = CreateFileA((target_ + "held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const bool result = Empty(target_);
  CloseHandle(held);
  EXPECT_FALSE(result);
  EXPECT_TRUE(FileExists(target_ + "held.txt"));
  EXPECT_FALSE(FolderExists(target_ + "later"));
}

TEST_F(EmptyFolderTest, NamesTheFirstEntryThatStays) {
  MakeFolder("sub");
  MakeFile("sub\\held.dll");
  HANDLE held = CreateFileA((target_ + "sub\\held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  wchar_t leftover[kLeftoverPathSize] = {};
  const bool result = EmptyFolder(Wide(target_).c_str(), leftover);
  CloseHandle(held);
  EXPECT_FALSE(result);
  // The file that blocks, not the folder that could not go because of it.
  EXPECT_EQ(test::Narrow(leftover), target_ + "sub\\held.dll");
}

TEST_F(EmptyFolderTest, AllocationFailureEndsTheWalkWithFailure) {
  MakeFile("a.txt");
  MakeFile("b.txt");
  // Folder and pattern strings succeed; the first entry's path does not.
  SetPathAllocationBudgetForTesting(2);
  EXPECT_FALSE(Empty(target_));
  SetPathAllocationBudgetForTesting(-1);
  EXPECT_TRUE(Empty(target_));
  EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(EmptyFolderTest, FailedFirstAllocationIsFailure) {
  SetPathAllocationBudgetForTesting(0);
  EXPECT_FALSE(Empty(target_));
}

TEST_F(EmptyFolderTest, DirectoryLinkIsRemovedWithoutTouchingItsTarget) {
  const std::string outside = scratch_.path() + "outside";
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  WriteText(outside + "\\precious.txt", "keep me");
  const std::string link = target_ + "link";
  // Wine's CreateSymbolicLinkA reports success but makes nothing.
  if (!CreateSymbolicLinkA(link.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system cannot make directory symbolic links (error " << GetLastError() << ")";
  }
  ASSERT_NE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_TRUE(Empty(target_));
  EXPECT_TRUE(FileExists(outside + "\\precious.txt"));
  EXPECT_EQ(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SupportLayerInit, FailsWithoutInstanceAndAllocationStillWorks) {
  EXPECT_FALSE(InitSupportLayer(nullptr, nullptr, nullptr, SW_SHOWNORMAL));
  wchar_t* text = AllocPathString(16);
  ASSERT_NE(text, nullptr);
  FreePathString(text);
  EXPECT_TRUE(InitSupportLayer(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL));
}

}  // namespace
}  // namespace sfx
