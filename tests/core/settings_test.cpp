#include "core/settings.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "storage/file_errors.h"
#include "support/faulty_file_ops.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

// Every test starts from the built-in defaults, as the program does at start.
class SettingsTest : public ::testing::Test {
 protected:
  test::TTempDir dir_;
  TSettings settings_;
  std::filesystem::path ini_ = dir_ / "vantrel.ini";
  TKeptWindowState window_;
};

// Worked out by hand from the key table: sections in order, a blank line before
// each new section, CR LF line ends, [Message] in Base64. The file existed with
// wider permissions and a key the program does not know.
TEST_F(SettingsTest, DefaultsAreSavedByteForByteAtomicallyForTheOwnerOnly) {
  WriteFileBytes(ini_, "; hand-written note\r\n[Plugins]\r\nColor=blue\r\n");
  ::chmod(ini_.c_str(), 0644);
  window_.SetWindowState({false, 10, 20, 640, 480, true, true, false, 250, 120, 100, 300});
  settings_.Save(ini_, window_);

  std::string fields;
  for (int i = 0; i < 21; ++i)
    fields += std::to_string(i) + "=" + std::to_string(i + 1) + "\r\n";
  const std::string expected =
      "; hand-written note\r\n[Plugins]\r\nColor=blue\r\n\r\n"
      "[Window]\r\nState=0\r\nTop=10\r\nLeft=20\r\nWidth=640\r\nHeight=480\r\n\r\n"
      "[ToolBar]\r\nVisible=1\r\n\r\n"
      "[StatusBar]\r\nVisible=1\r\n\r\n"
      "[Preferences]\r\nIconInSystray=1\r\nMinimizeToSystray=1\r\nStartMinimized=0\r\n"
      "Autosave=1\r\nAutosaveFrequency=15\r\nLogType=0\r\n\r\n"
      "[Mail]\r\nUsername=\r\nOrganization=\r\nAddress=\r\nServer=\r\nServerAuth=0\r\n"
      "Account=\r\nPassword=\r\n\r\n"
      "[Message]\r\nSubject=QWxhcm0gJVN0YXR1cyUgLSAlTmFtZSUgKCVVUkwlKSAlVGltZVN0YW1wJQ==\r\n"
      "SMS=JU5hbWUlIGlzICVTdGF0dXMl\r\nHeader=\r\nSignature=\r\n\r\n"
      "[Service]\r\nServiceStatus=0\r\nServiceUrl=\r\nServicePassword=\r\n"
      "ServiceFrequency=3600\r\nDefaultFrequency=1800\r\nDefaultTriggerCount=2\r\n"
      "DefaultResetCount=1\r\nDefaultCheckExtra=1\r\nDefaultCheckConnection=0\r\n\r\n"
      "[Tabstops]\r\nTableView=0\r\nSeparator=250\r\nItemTabstop=120\r\nItemAutosize=1\r\n"
      "PropertyTabstop=100\r\nValueTabstop=300\r\nValueAutosize=1\r\n\r\n"
      "[Fields]\r\n" +
      fields +
      "\r\n"
      "[Proxy]\r\nActiveStatus=0\r\nAddress=\r\nPort=0\r\nUsername=\r\nPassword=\r\n"
      "Exceptions=\r\n\r\n"
      "[Internet]\r\nPingStatus=1\r\nServers=www.debian.org; www.wikipedia.org\r\nMethod=0\r\n";
  EXPECT_EQ(ReadFileBytes(ini_), expected);
  struct stat info {};
  ASSERT_EQ(::stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "vantrel.ini.tmp"));
}

// The save fails while writing, syncing or renaming: the old file stays whole
// and no temporary file is left.
TEST_F(SettingsTest, FailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
  WriteFileBytes(ini_, "[Plugins]\r\nColor=blue\r\n");
  test::TFaultyFileOps ops;
  for (const test::TSaveFault& fault : test::kSaveFaults) {
    SCOPED_TRACE(fault.Name);
    fault.Arm(ops, 100);
    EXPECT_THROW(settings_.Save(ini_, window_, ops), EInOutError);
    ops.Heal();
    EXPECT_EQ(ReadFileBytes(ini_), "[Plugins]\r\nColor=blue\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "vantrel.ini.tmp"));
  }
}

TEST_F(SettingsTest, EverySettingSurvivesASaveAndLoad) {
  TPreferences p = settings_.GetPreferences();
  p.StartMinimized = true;
  p.AutosaveFrequency = 5;
  p.LogType = TPreferences::ResetLog;
  p.Username = "Ops Desk";
  p.Server = "mail.example.org";
  p.ServerAuth = true;
  p.Password = "p=ss;word";
  p.Subject = "Down:\r\n%Name%";  // a line break survives only through Base64
  p.Header = std::string(1000, 'h') + "\r\n<b>x</b>";
  p.Fields[2] = -3;
  p.ServiceFrequency = 60;
  settings_.SetPreferences(p);
  TInternetOptions o = settings_.GetInternetOptions();
  o.ActiveStatus = true;
  o.Address = "proxy.local";
  o.Port = 3128;
  o.Exceptions = "intranet; printer";
  o.Method = TInternetOptions::ByDownload;
  settings_.SetInternetOptions(o);
  TWindowState w;
  w.TableView = true;
  w.Separator = 333;
  window_.SetWindowState(w);

  settings_.Save(ini_, window_);
  TSettings fresh;
  TKeptWindowState loaded;
  fresh.Load(ini_, loaded);

  EXPECT_EQ(fresh.GetPreferences(), p);
  EXPECT_EQ(fresh.GetInternetOptions(), o);
  EXPECT_EQ(loaded.GetWindowState(), w);
}

TEST_F(SettingsTest, MaximizedWindowSavesNoBoundsAndIgnoresOldOnes) {
  WriteFileBytes(ini_, "[Window]\r\nState=1\r\nTop=5\r\nLeft=6\r\nWidth=7\r\nHeight=8\r\n");
  window_.SetWindowState({.Top = 100});
  settings_.Load(ini_, window_);
  EXPECT_TRUE(window_.GetWindowState().Maximized);
  EXPECT_EQ(window_.GetWindowState().Top, 100);
  settings_.Save(dir_ / "fresh.ini", window_);
  EXPECT_NE(ReadFileBytes(dir_ / "fresh.ini").find("[Window]\r\nState=1\r\n\r\n[ToolBar]"),
            std::string::npos);
}

TEST_F(SettingsTest, GarbageOutOfRangeAndTooLongValuesKeepTheDefaultsOrAreCut) {
  std::string subject;  // "sss" is "c3Nz" in Base64: 300 characters once decoded
  for (int i = 0; i < 100; ++i)
    subject += "c3Nz";
  WriteFileBytes(ini_,
                 "this is not an ini line\n[Preferences\n"
                 "[Preferences]\nAutosaveFrequency=often\nLogType=7\nAutosave=yes\n"
                 "[Service]\nServiceFrequency=0\nDefaultTriggerCount=-4\n"
                 "DefaultFrequency=99999999999999\n"
                 "[Proxy]\nPort=70000\n[Internet]\nMethod=2\n[Tabstops]\nSeparator=0\n"
                 "[Fields]\n0=1\n1=1\n2=99\n"
                 "[Message]\nSubject=" +
                     subject + "\nSignature=" + subject +
                     "\n[Mail]\nUsername=" + std::string(1 << 20, 'u') + "\n");
  settings_.Load(ini_, window_);
  const TPreferences p = settings_.GetPreferences();
  EXPECT_EQ(p.AutosaveFrequency, 15);
  EXPECT_EQ(p.LogType, TPreferences::NoLog);
  EXPECT_TRUE(p.Autosave);  // "yes" is no number: the default stays
  EXPECT_EQ(p.ServiceFrequency, 3600);
  EXPECT_EQ(p.DefaultTriggerCount, 2);
  EXPECT_EQ(p.DefaultFrequency, 1800);
  EXPECT_EQ(p.Fields, DefaultFieldList());  // a field named twice would break the views
  EXPECT_EQ(settings_.GetInternetOptions().Port, 0);
  EXPECT_EQ(settings_.GetInternetOptions().Method, TInternetOptions::ByPing);
  EXPECT_EQ(window_.GetWindowState().Separator, 200);
  EXPECT_EQ(p.Username, std::string(255, 'u'));
  EXPECT_EQ(p.Subject, std::string(255, 's'));    // cut after decoding
  EXPECT_EQ(p.Signature, std::string(300, 's'));  // unlimited
}

TEST_F(SettingsTest, UnreadableFileIsAnErrorNotSilentDefaults) {
  std::filesystem::create_directory(ini_);  // reading a folder fails with EISDIR
  EXPECT_THROW(settings_.Load(ini_, window_), EInOutError);
}

}  // namespace
}  // namespace vantrel
