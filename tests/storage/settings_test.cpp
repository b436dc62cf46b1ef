#include "storage/settings.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "storage/file_errors.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

// Every test starts from the built-in defaults, as the program does at start.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TPreferences p;
    SetDefaultPreferences(p);
    SetPreferences(p);
    TInternetOptions o;
    SetDefaultInternetOptions(o);
    SetInternetOptions(o);
  }

  TTempDir dir_;
  std::filesystem::path ini_ = dir_ / "vantrel.ini";
  TKeptWindowState window_;
};

TEST_F(SettingsTest, FirstStartWithoutFileKeepsTheDefaults) {
  LoadSettings(ini_, window_);
  const TPreferences p = GetPreferences();
  EXPECT_EQ(p.Subject, "Alarm %Status% - %Name% (%URL%) %TimeStamp%");
  EXPECT_EQ(p.SMS, "%Name% is %Status%");
  EXPECT_TRUE(p.Autosave);
  EXPECT_EQ(p.AutosaveFrequency, 15);
  EXPECT_EQ(p.LogType, TPreferences::NoLog);
  EXPECT_FALSE(p.ServiceStatus);
  EXPECT_EQ(p.Fields, DefaultFieldList());
  EXPECT_EQ(GetInternetOptions().Servers, kDefaultTestServers);
  EXPECT_FALSE(std::filesystem::exists(ini_));
}

// Worked out by hand from the key table: sections in order, a blank line before
// each new section, CR LF line ends, [Message] in Base64.
TEST_F(SettingsTest, DefaultFileIsWrittenByteForByte) {
  TWindowState w;
  w.Top = 10;
  w.Left = 20;
  w.Width = 640;
  w.Height = 480;
  w.Separator = 250;
  w.ItemTabstop = 120;
  w.PropertyTabstop = 100;
  w.ValueTabstop = 300;
  window_.SetWindowState(w);
  SaveSettings(ini_, window_);

  std::string fields;
  for (int i = 0; i < 21; ++i)
    fields += std::to_string(i) + "=" + std::to_string(i + 1) + "\r\n";
  const std::string expected =
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
}

TEST_F(SettingsTest, FileHoldingPasswordsIsReadableByItsOwnerOnly) {
  WriteFileBytes(ini_, "[Mail]\r\nPassword=old\r\n");
  ::chmod(ini_.c_str(), 0644);
  SaveSettings(ini_, window_);
  struct stat info {};
  ASSERT_EQ(::stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "vantrel.ini.tmp"));
}

TEST_F(SettingsTest, EverySettingSurvivesASaveAndLoad) {
  TPreferences p = GetPreferences();
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
  SetPreferences(p);
  TInternetOptions o = GetInternetOptions();
  o.ActiveStatus = true;
  o.Address = "proxy.local";
  o.Port = 3128;
  o.Exceptions = "intranet; printer";
  o.Method = TInternetOptions::ByDownload;
  SetInternetOptions(o);
  TWindowState w;
  w.TableView = true;
  w.Separator = 333;
  window_.SetWindowState(w);

  SaveSettings(ini_, window_);
  SetUp();  // back to defaults in memory
  TKeptWindowState loaded;
  LoadSettings(ini_, loaded);

  EXPECT_EQ(GetPreferences(), p);
  EXPECT_EQ(GetInternetOptions(), o);
  EXPECT_EQ(loaded.GetWindowState().Separator, 333);
  EXPECT_TRUE(loaded.GetWindowState().TableView);
  // -3 at position 2 hides "URL/IP" there.
  EXPECT_STREQ(kFieldCaptions[std::abs(GetPreferences().Fields[2]) - 1], "URL/IP");
}

TEST_F(SettingsTest, MaximizedWindowSavesNoBoundsAndIgnoresOldOnes) {
  WriteFileBytes(ini_, "[Window]\r\nState=1\r\nTop=5\r\nLeft=6\r\nWidth=7\r\nHeight=8\r\n");
  TWindowState before;
  before.Top = 100;
  window_.SetWindowState(before);
  LoadSettings(ini_, window_);
  EXPECT_TRUE(window_.GetWindowState().Maximized);
  EXPECT_EQ(window_.GetWindowState().Top, 100);

  SaveSettings(dir_ / "fresh.ini", window_);
  const std::string text = ReadFileBytes(dir_ / "fresh.ini");
  EXPECT_NE(text.find("[Window]\r\nState=1\r\n\r\n[ToolBar]"), std::string::npos);
}

TEST_F(SettingsTest, ZeroSeparatorGivesTwoHundredPixels) {
  WriteFileBytes(ini_, "[Tabstops]\nSeparator=0\n");
  LoadSettings(ini_, window_);
  EXPECT_EQ(window_.GetWindowState().Separator, 200);
}

TEST_F(SettingsTest, ShortTextsAreCutTo255AfterDecoding) {
  const std::string longSubject(300, 's');
  TPreferences p = GetPreferences();
  p.Subject = longSubject;
  p.Signature = longSubject;  // unlimited
  p.Username = longSubject;
  SetPreferences(p);
  SaveSettings(ini_, window_);
  LoadSettings(ini_, window_);
  EXPECT_EQ(GetPreferences().Subject, std::string(255, 's'));
  EXPECT_EQ(GetPreferences().Username, std::string(255, 's'));
  EXPECT_EQ(GetPreferences().Signature, longSubject);
}

TEST_F(SettingsTest, GarbageAndOutOfRangeValuesKeepTheDefaults) {
  WriteFileBytes(ini_,
                 "this is not an ini line\n[Preferences\n"
                 "[Preferences]\nAutosaveFrequency=often\nLogType=7\nAutosave=yes\n"
                 "[Service]\nServiceFrequency=0\nDefaultTriggerCount=-4\n"
                 "DefaultFrequency=99999999999999\n"
                 "[Proxy]\nPort=70000\n[Internet]\nMethod=2\n"
                 "[Fields]\n0=1\n1=1\n2=99\n"
                 "[Mail]\nUsername=" +
                     std::string(1 << 20, 'u') + "\n");
  LoadSettings(ini_, window_);
  const TPreferences p = GetPreferences();
  EXPECT_EQ(p.AutosaveFrequency, 15);
  EXPECT_EQ(p.LogType, TPreferences::NoLog);
  EXPECT_TRUE(p.Autosave);  // "yes" is no number: the default stays
  EXPECT_EQ(p.ServiceFrequency, 3600);
  EXPECT_EQ(p.DefaultTriggerCount, 2);
  EXPECT_EQ(p.DefaultFrequency, 1800);
  EXPECT_EQ(p.Fields, DefaultFieldList());  // a field named twice would break the views
  EXPECT_EQ(p.Username.size(), 255u);
  EXPECT_EQ(GetInternetOptions().Port, 0);
  EXPECT_EQ(GetInternetOptions().Method, TInternetOptions::ByPing);
}

TEST_F(SettingsTest, KeysTheProgramDoesNotKnowSurviveASave) {
  WriteFileBytes(ini_, "; hand-written note\r\n[Plugins]\r\nColor=blue\r\n[Mail]\r\nServer=a\r\n");
  LoadSettings(ini_, window_);
  SaveSettings(ini_, window_);
  const std::string text = ReadFileBytes(ini_);
  EXPECT_EQ(
      text.rfind("; hand-written note\r\n[Plugins]\r\nColor=blue\r\n[Mail]\r\nServer=a\r\n", 0),
      0u);
}

TEST_F(SettingsTest, UnreadableFileIsAnErrorNotSilentDefaults) {
  std::filesystem::create_directory(ini_);  // reading a folder fails with EISDIR
  EXPECT_THROW(LoadSettings(ini_, window_), EInOutError);
}

TEST_F(SettingsTest, DefaultMailIdentityIsEmpty) {
  TPreferences p;
  p.Username = "x";
  p.Server = "y";
  p.ServerAuth = true;
  p.Subject = "kept";
  SetDefaultMailIdentity(p);
  EXPECT_EQ(p.Username, "");
  EXPECT_EQ(p.Server, "");
  EXPECT_FALSE(p.ServerAuth);
  EXPECT_EQ(p.Subject, "kept");
}

}  // namespace
}  // namespace vantrel
