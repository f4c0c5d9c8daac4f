// Claiming the working folder: the owner and path decision, and the claim
// loop on scripted platform calls (Wine cannot show owners or make links,
// so the decision is tested here without real access lists), plus one claim
// with the real calls.
#include "shell/work_folder_claim.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win_test_files.h"

namespace sfx {
namespace {

TEST(WorkFolderOwner, AcceptsTheUserSystemAndElevatedAdministrators) {
  struct Case {
    OwnerKind owner;
    bool elevated;
    bool acceptable;
  };
  const Case cases[] = {
      {OwnerKind::kCurrentUser, false, true},     {OwnerKind::kCurrentUser, true, true},
      {OwnerKind::kSystem, false, true},          {OwnerKind::kSystem, true, true},
      {OwnerKind::kAdministrators, false, false}, {OwnerKind::kAdministrators, true, true},
      {OwnerKind::kOther, false, false},          {OwnerKind::kOther, true, false},
      {OwnerKind::kUnknown, false, false},        {OwnerKind::kUnknown, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAcceptableOwner(c.owner, c.elevated), c.acceptable)
        << static_cast<int>(c.owner) << " elevated " << c.elevated;
  }
}

TEST(WorkFolderAction, EachKindOfPathGetsItsAction) {
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kMissing, OwnerKind::kUnknown, false), PathAction::kCreate);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kLink, OwnerKind::kCurrentUser, true), PathAction::kRemoveLink);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kFile, OwnerKind::kCurrentUser, true), PathAction::kRemoveFile);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kFolder, OwnerKind::kCurrentUser, false), PathAction::kKeep);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kFolder, OwnerKind::kAdministrators, false), PathAction::kRemoveFolder);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kFolder, OwnerKind::kOther, true), PathAction::kRemoveFolder);
  EXPECT_EQ(DecideWorkFolderAction(PathKind::kUnreadable, OwnerKind::kUnknown, true), PathAction::kRemoveFolder);
}

// A scripted file system: what each inspection finds, in turn, and which
// actions fail. Every call is logged.
struct Script {
  std::vector<std::pair<PathKind, OwnerKind>> found;  // one per inspection; the last repeats
  std::size_t inspections = 0;
  int secure_failures = 0;  // so many secure calls fail before they succeed
  bool removal_fails = false;
  bool elevated = false;
  std::vector<std::string> calls;
  std::wstring folder;
};
Script* script = nullptr;

PathKind ScriptedInspect(const wchar_t* folder, OwnerKind* owner) {
  script->folder = folder;
  const auto& next = script->found[std::min(script->inspections++, script->found.size() - 1)];
  script->calls.push_back("inspect");
  *owner = next.second;
  return next.first;
}
bool Log(const char* call, bool result) {
  script->calls.push_back(call);
  return result;
}
bool ScriptedCreate(const wchar_t*) { return Log("create", true); }
bool ScriptedSecure(const wchar_t*) { return Log("secure", script->secure_failures-- <= 0); }
bool ScriptedRemoveLink(const wchar_t*) { return Log("remove link", !script->removal_fails); }
bool ScriptedRemoveFile(const wchar_t*) { return Log("remove file", !script->removal_fails); }
bool ScriptedRemoveFolder(const wchar_t*) { return Log("remove folder", !script->removal_fails); }
bool ScriptedElevated() { return script->elevated; }

const WorkFolderOps kScriptedOps = {ScriptedInspect,    ScriptedCreate,       ScriptedSecure,  ScriptedRemoveLink,
                                    ScriptedRemoveFile, ScriptedRemoveFolder, ScriptedElevated};

class WorkFolderClaimTest : public ::testing::Test {
 protected:
  void SetUp() override { script = &script_; }
  void TearDown() override { script = nullptr; }
  bool Claim() { return ClaimWorkFolder(L"C:\\T\\Mivor.40\\", kScriptedOps); }

  Script script_;
};

using Calls = std::vector<std::string>;

TEST_F(WorkFolderClaimTest, OwnFolderIsKeptAndSecured) {
  script_.found = {{PathKind::kFolder, OwnerKind::kCurrentUser}};
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "secure"}));
  EXPECT_EQ(script_.folder, L"C:\\T\\Mivor.40");  // the name itself, without the backslash
}

TEST_F(WorkFolderClaimTest, MissingFolderIsCreatedThenKept) {
  script_.found = {{PathKind::kMissing, OwnerKind::kUnknown}, {PathKind::kFolder, OwnerKind::kCurrentUser}};
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "create", "inspect", "secure"}));
}

TEST_F(WorkFolderClaimTest, LinkIsRemovedAndARealFolderMade) {
  script_.found = {{PathKind::kLink, OwnerKind::kUnknown},
                   {PathKind::kMissing, OwnerKind::kUnknown},
                   {PathKind::kFolder, OwnerKind::kCurrentUser}};
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "remove link", "inspect", "create", "inspect", "secure"}));
}

TEST_F(WorkFolderClaimTest, ForeignFolderIsReplaced) {
  script_.found = {{PathKind::kFolder, OwnerKind::kOther},
                   {PathKind::kMissing, OwnerKind::kUnknown},
                   {PathKind::kFolder, OwnerKind::kCurrentUser}};
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "remove folder", "inspect", "create", "inspect", "secure"}));
}

TEST_F(WorkFolderClaimTest, AdministratorsFolderIsKeptOnlyWhenElevated) {
  script_.found = {{PathKind::kFolder, OwnerKind::kAdministrators}};
  script_.elevated = true;
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "secure"}));
}

TEST_F(WorkFolderClaimTest, FolderThatCannotBeSecuredIsReplaced) {
  script_.found = {{PathKind::kFolder, OwnerKind::kSystem},
                   {PathKind::kMissing, OwnerKind::kUnknown},
                   {PathKind::kFolder, OwnerKind::kCurrentUser}};
  script_.secure_failures = 1;
  EXPECT_TRUE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "secure", "remove folder", "inspect", "create", "inspect", "secure"}));
}

TEST_F(WorkFolderClaimTest, FailedRemovalEndsTheClaim) {
  for (PathKind kind : {PathKind::kLink, PathKind::kFile, PathKind::kUnreadable}) {
    script_ = Script{};
    script_.found = {{kind, OwnerKind::kUnknown}};
    script_.removal_fails = true;
    EXPECT_FALSE(Claim()) << static_cast<int>(kind);
    EXPECT_EQ(script_.calls.size(), 2u) << "nothing after the failed removal";
  }
}

TEST_F(WorkFolderClaimTest, SomethingPlantedOverAndOverEndsTheClaim) {
  script_.found = {{PathKind::kLink, OwnerKind::kUnknown}};
  EXPECT_FALSE(Claim());
  EXPECT_EQ(script_.inspections, 5u);
}

TEST(WorkFolderClaimPlatform, CreatesARealFolderThatIsThenKept) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path() + "Mivor.40\\";
  ASSERT_TRUE(ClaimWorkFolder(test::Wide(folder).c_str(), PlatformWorkFolderOps()));
  EXPECT_TRUE(test::FolderExists(folder));
  // Its access list: one entry each for the user, SYSTEM and Administrators,
  // none inherited from the temp folder. (Wine keeps the entries but does
  // not report the descriptor's SE_DACL_PROTECTED bit, so that is not
  // asked here.)
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                                  nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(acl, nullptr);
  EXPECT_EQ(acl->AceCount, 3);
  LocalFree(descriptor);
  test::WriteText(folder + "kept.txt", "kept");
  ASSERT_TRUE(ClaimWorkFolder(test::Wide(folder).c_str(), PlatformWorkFolderOps()));
  EXPECT_TRUE(test::FileExists(folder + "kept.txt")) << "an own folder is kept as it is";
}

TEST(WorkFolderClaimPlatform, FileInThePlaceOfTheFolderIsReplaced) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path() + "Mivor.40";
  test::WriteText(folder, "a file");
  ASSERT_TRUE(ClaimWorkFolder(test::Wide(folder + "\\").c_str(), PlatformWorkFolderOps()));
  EXPECT_TRUE(test::FolderExists(folder));
}

}  // namespace
}  // namespace sfx
