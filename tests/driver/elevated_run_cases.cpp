// What an elevated run keeps out of its user's reach: the temporary folder
// in the system's own, made new and with rules that leave only the system
// and the administrators in; the saved destination in the machine's hive;
// the log only as a new file. Wine gives every process an elevated token,
// so the real installer takes these paths; the run's flag picks them here.
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "driver/admin_only_folder.h"
#include "driver/saved_destination.h"
#include "driver/script_fixture.h"
#include "driver/sfx_state.h"
#include "driver/temp_folder.h"

namespace {

using namespace script_testing;
using testing_support::FileExists;

class ElevatedRun : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    sfx.elevated = true;
  }
};

bool SameSid(PSID sid, const char* text) {
  PSID expected = nullptr;
  if (!ConvertStringSidToSidA(text, &expected)) return false;
  const bool same = EqualSid(sid, expected) != FALSE;
  LocalFree(expected);
  return same;
}

// The rules are checked where they are built: Wine keeps none on files.
TEST(AdminOnlySecurity, GrantsTheSystemAndTheAdministratorsAloneAndIsProtected) {
  AdminOnlySecurity security;
  ASSERT_TRUE(BuildAdminOnlySecurity(&security));
  EXPECT_TRUE(IsValidSecurityDescriptor(security.attributes.lpSecurityDescriptor));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(&security.descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  EXPECT_TRUE(control & SE_DACL_PRESENT);
  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(&security.descriptor, &owner, &defaulted));
  EXPECT_TRUE(SameSid(owner, "S-1-5-32-544"));

  BOOL present = FALSE;
  ACL* acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl != nullptr);
  ASSERT_EQ(2, acl->AceCount);
  const char* expected[] = {"S-1-5-18", "S-1-5-32-544"};
  for (int i = 0; i < 2; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &entry));
    const ACCESS_ALLOWED_ACE* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags);
    EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask);
    EXPECT_TRUE(SameSid(const_cast<DWORD*>(&ace->SidStart), expected[i])) << expected[i];
  }
}

// In the system's temporary folder, and never a name that was there before
// the run: a folder planted at the next free number is passed over.
TEST_F(ElevatedRun, TempFolderIsANewOneInTheSystemsTemporaryFolder) {
  char system[kPathSize];
  ASSERT_TRUE(SystemTempFolder(system));
  const std::string parent = system;
  std::string planted;
  for (int n = 0; planted.empty(); ++n) {
    const std::string name = parent + "QelSFX" + std::to_string(n);
    if (CreateDirectoryA(name.c_str(), nullptr)) planted = name;
  }
  char made[kPathSize];
  ASSERT_TRUE(MakeTempFolder(made));
  const std::string folder = made;
  RemoveDirectoryA(planted.c_str());
  EXPECT_EQ(0u, folder.find(parent + "QelSFX")) << folder;
  EXPECT_NE(planted, folder);
  EXPECT_EQ(folder, sfx.tempFolder);
  EXPECT_NE(std::string::npos, folder.find_first_of("0123456789", parent.size()));
  EXPECT_TRUE(FileExists(folder));
  RemoveTempFolder();
  EXPECT_FALSE(FileExists(folder));
}

// The user's hive may say anything: an elevated run neither reads nor
// writes it, and keeps the value in the machine's.
TEST_F(ElevatedRun, SavedDestinationLivesInTheMachinesHive) {
  const char* key = "Software\\Zimbro SFX";
  sfx.savePath = true;
  const std::string scriptPath = destination() + "\\App";
  strcpy(sfx.scriptPath, scriptPath.c_str());
  char name[kPathSize];
  RegistryValueName(scriptPath.c_str(), name);
  HKEY user;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &user, nullptr));
  const std::string planted = work_.file("planted");
  RegSetValueExA(user, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(planted.c_str()),
                 static_cast<DWORD>(planted.size() + 1));
  RegCloseKey(user);

  char path[kPathSize];
  strcpy(path, scriptPath.c_str());
  LoadSavedDestination(path);
  EXPECT_EQ(scriptPath, path);
  const std::string chosen = destination() + "\\Chosen";
  SaveDestination(chosen.c_str());
  EXPECT_EQ(chosen, RegistryText(HKEY_LOCAL_MACHINE, key, name));
  EXPECT_EQ(planted, RegistryText(HKEY_CURRENT_USER, key, name));
  LoadSavedDestination(path);
  EXPECT_EQ(chosen, path);

  sfx.elevated = false;  // a run without the rights reads the user's, as ever
  strcpy(path, scriptPath.c_str());
  LoadSavedDestination(path);
  EXPECT_EQ(planted, path);
  DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, name);
  DeleteRegistryValue(HKEY_CURRENT_USER, key, name);
}

}  // namespace
