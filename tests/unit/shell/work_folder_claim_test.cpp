// Claiming the working folder: the owner, protection and path decisions,
// and the claim loop on scripted platform calls (Wine cannot show owners,
// elevation or enforced access lists, so the decisions are tested here on
// access lists built in memory), plus claims with the real calls.
#include "shell/work_folder_claim.h"

#include "shell/empty_folder.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/win_test_files.h"

namespace sfx {
namespace {

constexpr ClaimSetting kUser = {false, true};
constexpr ClaimSetting kElevated = {true, true};
constexpr ClaimSetting kNoAcls = {true, false};  // FAT32, exFAT: owners mean nothing there

TEST(WorkFolderDecision, OwnersAndProtectionThatMayBeKept) {
  struct Case {
    OwnerKind owner;
    bool protection;  // carries exactly the elevated protection
    ClaimSetting setting;
    bool keep;
  } const cases[] = {
      {OwnerKind::kCurrentUser, false, kUser, true},
      {OwnerKind::kSystem, false, kUser, true},
      {OwnerKind::kAdministrators, true, kUser, false},
      {OwnerKind::kOther, false, kUser, false},
      {OwnerKind::kCurrentUser, true, kElevated, false},  // the user's own programs could change it
      {OwnerKind::kAdministrators, true, kElevated, true},
      {OwnerKind::kSystem, true, kElevated, true},
      {OwnerKind::kAdministrators, false, kElevated, false},
      {OwnerKind::kUnknown, true, kElevated, false},
      {OwnerKind::kOther, false, kNoAcls, true},
      {OwnerKind::kUnknown, false, kNoAcls, true},
  };
  for (const Case& c : cases) {
    const int at = static_cast<int>(&c - cases);
    EXPECT_EQ(MayKeepFolder(c.owner, c.protection, c.setting), c.keep) << "case " << at;
    // The inspection decides on the owner alone; the protection is checked
    // on the held folder.
    const PathAction action = DecideWorkFolderAction(PathKind::kFolder, c.owner, c.setting);
    EXPECT_EQ(action == PathAction::kKeep, MayKeepFolder(c.owner, true, c.setting)) << "case " << at;
  }
}

TEST(WorkFolderDecision, EachKindOfPathGetsItsAction) {
  for (const ClaimSetting setting : {kUser, kElevated, kNoAcls}) {
    EXPECT_EQ(DecideWorkFolderAction(PathKind::kMissing, OwnerKind::kUnknown, setting), PathAction::kCreate);
    EXPECT_EQ(DecideWorkFolderAction(PathKind::kLink, OwnerKind::kSystem, setting), PathAction::kRemoveLink);
    EXPECT_EQ(DecideWorkFolderAction(PathKind::kFile, OwnerKind::kSystem, setting), PathAction::kRemoveFile);
    EXPECT_EQ(DecideWorkFolderAction(PathKind::kUnreadable, OwnerKind::kUnknown, setting), PathAction::kRemoveFolder);
  }
}

// HasElevatedProtection on an access list with full control (inherited by
// files and folders) for `sids` and a label `label` with `policy` (none for
// WinNullSid).
bool Protected(std::initializer_list<WELL_KNOWN_SID_TYPE> sids, WELL_KNOWN_SID_TYPE label, DWORD policy) {
  alignas(DWORD) BYTE dacl[512];
  alignas(DWORD) BYTE sacl[128];
  alignas(DWORD) BYTE sid[SECURITY_MAX_SID_SIZE];
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  InitializeAcl(reinterpret_cast<ACL*>(dacl), sizeof(dacl), ACL_REVISION);
  InitializeAcl(reinterpret_cast<ACL*>(sacl), sizeof(sacl), ACL_REVISION);
  for (WELL_KNOWN_SID_TYPE type : sids) {
    DWORD size = sizeof(sid);
    CreateWellKnownSid(type, nullptr, sid, &size);
    AddAccessAllowedAceEx(reinterpret_cast<ACL*>(dacl), ACL_REVISION, inherit, FILE_ALL_ACCESS, sid);
  }
  DWORD size = sizeof(sid);
  if (label != WinNullSid && CreateWellKnownSid(label, nullptr, sid, &size)) {
    AddMandatoryAce(reinterpret_cast<ACL*>(sacl), ACL_REVISION, inherit, policy, sid);
  }
  return HasElevatedProtection(reinterpret_cast<ACL*>(dacl), reinterpret_cast<ACL*>(sacl));
}

TEST(WorkFolderDecision, ElevatedProtectionMustBeExact) {
  constexpr DWORD kNoWriteUp = SYSTEM_MANDATORY_LABEL_NO_WRITE_UP;
  const auto system = WinLocalSystemSid;
  const auto admins = WinBuiltinAdministratorsSid;
  EXPECT_TRUE(Protected({system, admins}, WinHighLabelSid, kNoWriteUp));
  EXPECT_TRUE(Protected({admins, system}, WinHighLabelSid, kNoWriteUp));
  EXPECT_FALSE(Protected({system, admins, WinWorldSid}, WinHighLabelSid, kNoWriteUp));  // a third entry
  EXPECT_FALSE(Protected({system}, WinHighLabelSid, kNoWriteUp));
  EXPECT_FALSE(Protected({system, admins}, WinMediumLabelSid, kNoWriteUp));
  EXPECT_FALSE(Protected({system, admins}, WinHighLabelSid, kNoWriteUp | SYSTEM_MANDATORY_LABEL_NO_READ_UP));
  EXPECT_FALSE(Protected({system, admins}, WinNullSid, kNoWriteUp));
  EXPECT_FALSE(HasElevatedProtection(nullptr, nullptr));
}

// A scripted file system: what each inspection finds, in turn, and which
// actions fail. Every call is logged.
struct Script {
  std::vector<std::pair<PathKind, OwnerKind>> found;  // one per inspection; the last repeats
  std::size_t inspections = 0;
  int hold_failures = 0;  // so many hold calls fail before they succeed
  bool create_fails = false;
  bool removal_fails = false;
  ClaimSetting setting = {false, true};
  std::vector<std::string> calls;
  std::wstring folder;
};
HANDLE const kHeld = reinterpret_cast<HANDLE>(0x1234);

Script& Of(void* context) { return *static_cast<Script*>(context); }
bool Log(void* context, const char* call, bool result) {
  Of(context).calls.push_back(call);
  return result;
}
PathKind ScriptedInspect(void* context, const wchar_t* folder, OwnerKind* owner) {
  Script& script = Of(context);
  script.folder = folder;
  const auto& next = script.found[std::min(script.inspections++, script.found.size() - 1)];
  script.calls.push_back("inspect");
  *owner = next.second;
  return next.first;
}
HANDLE ScriptedCreate(void* context, const wchar_t*, const ClaimSetting&) {
  return Log(context, "create", !Of(context).create_fails) ? kHeld : INVALID_HANDLE_VALUE;
}
HANDLE ScriptedHold(void* context, const wchar_t*, const ClaimSetting&) {
  return Log(context, "hold", Of(context).hold_failures-- <= 0) ? kHeld : INVALID_HANDLE_VALUE;
}
bool ScriptedRemoveLink(void* context, const wchar_t*) {
  return Log(context, "remove link", !Of(context).removal_fails);
}
bool ScriptedRemoveFile(void* context, const wchar_t*) {
  return Log(context, "remove file", !Of(context).removal_fails);
}
bool ScriptedRemoveFolder(void* context, const wchar_t*, wchar_t*) {
  return Log(context, "remove folder", !Of(context).removal_fails);
}
bool ScriptedElevated(void* context) { return Of(context).setting.elevated; }
bool ScriptedKeepsAcls(void* context, const wchar_t*) { return Of(context).setting.keeps_acls; }

class WorkFolderClaimTest : public ::testing::Test {
 protected:
  bool Claim() {
    const WorkFolderOps ops = {ScriptedInspect,    ScriptedCreate,     ScriptedHold,
                               ScriptedRemoveLink, ScriptedRemoveFile, ScriptedRemoveFolder,
                               ScriptedElevated,   ScriptedKeepsAcls,  &script_};
    return ClaimWorkFolder(L"C:\\T\\Mivor.40\\", ops, leftover_) == kHeld;
  }

  Script script_;
  wchar_t leftover_[kLeftoverPathSize] = {};
};

using Calls = std::vector<std::string>;

TEST_F(WorkFolderClaimTest, EachSituationTakesItsSteps) {
  const auto missing = std::make_pair(PathKind::kMissing, OwnerKind::kUnknown);
  const auto link = std::make_pair(PathKind::kLink, OwnerKind::kUnknown);
  const auto users = std::make_pair(PathKind::kFolder, OwnerKind::kCurrentUser);
  const auto admins = std::make_pair(PathKind::kFolder, OwnerKind::kAdministrators);
  const auto system = std::make_pair(PathKind::kFolder, OwnerKind::kSystem);
  const auto other = std::make_pair(PathKind::kFolder, OwnerKind::kOther);
  const Calls replaced = {"inspect", "remove folder", "inspect", "create"};
  struct Case {
    std::vector<std::pair<PathKind, OwnerKind>> found;
    ClaimSetting setting;
    int hold_failures;
    Calls calls;
  } const cases[] = {
      {{users}, kUser, 0, {"inspect", "hold"}},
      {{missing}, kUser, 0, {"inspect", "create"}},
      {{link, missing}, kUser, 0, {"inspect", "remove link", "inspect", "create"}},
      {{other, missing}, kUser, 0, replaced},
      // Elevated: the user's folder is replaced, an Administrators or SYSTEM
      // folder is held if its protection is exact, and replaced when not.
      {{users, missing}, kElevated, 0, replaced},
      {{admins}, kElevated, 0, {"inspect", "hold"}},
      {{system, missing}, kElevated, 1, {"inspect", "hold", "remove folder", "inspect", "create"}},
      {{other}, kNoAcls, 0, {"inspect", "hold"}},  // any folder is used as it is
  };
  for (const Case& c : cases) {
    script_ = Script{};
    script_.found = c.found;
    script_.setting = c.setting;
    script_.hold_failures = c.hold_failures;
    EXPECT_TRUE(Claim()) << "case " << &c - cases;
    EXPECT_EQ(script_.calls, c.calls) << "case " << &c - cases;
  }
  EXPECT_EQ(script_.folder, L"C:\\T\\Mivor.40");  // the name itself, without the backslash
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

// An unelevated run that meets the folder of an elevated run (owned by
// Administrators, no entry for the user) cannot empty it: the claim ends,
// and the stub names the folder in its message; it never goes on silently.
TEST_F(WorkFolderClaimTest, FolderOfAnElevatedRunEndsAnUnelevatedClaim) {
  script_.found = {{PathKind::kFolder, OwnerKind::kAdministrators}};
  script_.removal_fails = true;
  EXPECT_FALSE(Claim());
  EXPECT_EQ(script_.calls, Calls({"inspect", "remove folder"}));
}

TEST_F(WorkFolderClaimTest, SomethingPlantedOverAndOverEndsTheClaim) {
  script_.found = {{PathKind::kLink, OwnerKind::kUnknown}};
  EXPECT_FALSE(Claim());
  EXPECT_EQ(script_.inspections, 5u);
  script_ = Script{};
  script_.found = {{PathKind::kMissing, OwnerKind::kUnknown}};
  script_.create_fails = true;  // someone is always quicker
  EXPECT_FALSE(Claim());
  EXPECT_EQ(script_.inspections, 5u);
}

TEST(WorkFolderClaimPlatform, CreatesAndHoldsARealFolder) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path() + "Mivor.40";
  const WorkFolderOps& ops = PlatformWorkFolderOps();
  wchar_t leftover[kLeftoverPathSize] = {};
  HANDLE held = ClaimWorkFolder(test::Wide(folder + "\\").c_str(), ops, leftover);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(test::FolderExists(folder));
  // Held without delete sharing: neither renamed nor removed meanwhile.
  EXPECT_FALSE(MoveFileA(folder.c_str(), (scratch.path() + "moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
  if (ops.keeps_acls(ops.context, test::Wide(folder).c_str())) {
    // Unelevated one entry each for the user, SYSTEM and Administrators;
    // elevated no entry for the user. None inherited from the temp folder.
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(
        GetSecurityInfo(held, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr, &descriptor),
        static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(acl, nullptr);
    EXPECT_EQ(acl->AceCount, ops.elevated(ops.context) ? 2 : 3);
    LocalFree(descriptor);
  }
  CloseHandle(held);
  test::WriteText(folder + "\\kept.txt", "kept");
  held = ClaimWorkFolder(test::Wide(folder + "\\").c_str(), ops, leftover);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CloseHandle(held);
  // An unelevated run keeps its own folder as it is; an elevated one keeps
  // it only with exactly its protection (and replaces it otherwise).
  if (!ops.elevated(ops.context)) {
    EXPECT_TRUE(test::FileExists(folder + "\\kept.txt"));
  }
}

TEST(WorkFolderClaimPlatform, FileInThePlaceOfTheFolderIsReplaced) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path() + "Mivor.40";
  test::WriteText(folder, "a file");
  wchar_t leftover[kLeftoverPathSize] = {};
  HANDLE held = ClaimWorkFolder(test::Wide(folder + "\\").c_str(), PlatformWorkFolderOps(), leftover);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CloseHandle(held);
  EXPECT_TRUE(test::FolderExists(folder));
}

}  // namespace
}  // namespace sfx
