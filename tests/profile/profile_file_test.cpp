// profile_file_test.cpp: profile files on disk as the operator and the tools
// see them: the text written, the values read back, and for every kind of
// bad file the message that names it and its problem.
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "profile_file.h"
#include "temp_dir.h"

namespace velkor {
namespace {

using test::FileText;
using test::TempDir;

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

Profile FullProfile() {
  Profile p;
  p.savedAt = "2026-12-08T12:50:00Z";
  p.note = "стенд 2, \"тихий\" двигатель";
  p.values = {120, 20000, 60000, 0, 5000, 255, 15, 30000, 60, 1000, 1};
  return p;
}

TEST(ProfileFile, AFullProfileIsWrittenIndentedInThePanelsOrderAndReadsBackTheSame) {
  TempDir dir;
  const std::string path = dir / "full.json";
  ASSERT_FALSE(WriteProfile(FullProfile(), path));
  EXPECT_EQ(FileText(path),
            "{\n"
            "  \"format\": \"velkor-profile\",\n"
            "  \"version\": 1,\n"
            "  \"device\": \"VK-3\",\n"
            "  \"savedAt\": \"2026-12-08T12:50:00Z\",\n"
            "  \"note\": \"стенд 2, \\\"тихий\\\" двигатель\",\n"
            "  \"parameters\": {\n"
            "    \"stepDivision\": 120,\n"
            "    \"motionCurrent\": 20000,\n"
            "    \"reductionDelay\": 60000,\n"
            "    \"holdingCurrent\": 0,\n"
            "    \"faultCurrent\": 5000,\n"
            "    \"proportionalK\": 255,\n"
            "    \"levelingK\": 15,\n"
            "    \"steps\": 30000,\n"
            "    \"jogSpeed\": 60,\n"
            "    \"jogAccel\": 1000,\n"
            "    \"smoothing\": true\n"
            "  }\n"
            "}\n");
  Profile read;
  ASSERT_FALSE(ReadProfile(path, read));
  EXPECT_EQ(read.savedAt, "2026-12-08T12:50:00Z");
  EXPECT_EQ(read.note, "стенд 2, \"тихий\" двигатель");
  EXPECT_EQ(read.values, FullProfile().values);
}

TEST(ProfileFile, ASubsetWithoutNoteOrTimeKeepsOnlyWhatItSets) {
  TempDir dir;
  const std::string path = dir / "subset.json";
  Profile p;
  p.values[Index(ParameterId::MotionCurrent)] = 1500;
  p.values[Index(ParameterId::Smoothing)] = 0;
  ASSERT_FALSE(WriteProfile(p, path));
  EXPECT_EQ(FileText(path),
            "{\n"
            "  \"format\": \"velkor-profile\",\n"
            "  \"version\": 1,\n"
            "  \"device\": \"VK-3\",\n"
            "  \"parameters\": {\n"
            "    \"motionCurrent\": 1500,\n"
            "    \"smoothing\": false\n"
            "  }\n"
            "}\n");
  Profile read;
  ASSERT_FALSE(ReadProfile(path, read));
  EXPECT_EQ(read.values[Index(ParameterId::MotionCurrent)], 1500);
  EXPECT_EQ(read.values[Index(ParameterId::Smoothing)], 0);
  EXPECT_FALSE(read.values[Index(ParameterId::StepDivision)]);
  EXPECT_EQ(read.note, "");
}

TEST(ProfileFile, AHandWrittenFileWithOtherKeyOrderSpacingAndEmptyParametersReads) {
  TempDir dir;
  const std::string path = dir / "hand.json";
  // The same key in different objects is no duplicate; a quote inside a
  // string ends nothing.
  WriteText(path,
            "{\"parameters\":{},\"device\":\"VK-3\",\"version\":1,\"format\":\"velkor-profile\",\"extra\":[1, "
            "{\"version\": 2}],\"note\": \"\\\"version\\\": 3\"}");
  Profile read;
  read.values[0] = 8;
  ASSERT_FALSE(ReadProfile(path, read));
  for (const auto& v : read.values) EXPECT_FALSE(v);
}

TEST(ProfileFile, SavingOverAnExistingProfileReplacesItAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir / "p.json";
  WriteText(path, "old");
  ASSERT_FALSE(WriteProfile(FullProfile(), path));
  Profile read;
  EXPECT_FALSE(ReadProfile(path, read));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

TEST(ProfileFile, AFolderThatDoesNotExistIsReportedInBothLanguages) {
  TempDir dir;
  const std::string path = (dir / "missing" / "p.json").string();
  const auto error = WriteProfile(FullProfile(), path);
  ASSERT_TRUE(error);
  EXPECT_EQ(ProfileErrorText(*error, Language::English), path + ": cannot write it: No such file or directory");
  EXPECT_EQ(ProfileErrorText(*error, Language::Russian), "Файл \"" + path + "\": не удалось записать: файл не найден.");
}

TEST(ProfileFile, TheSavedTimeIsUtcToTheSecond) {
  // 2026-12-08 12:50:07 UTC
  const auto time = std::chrono::system_clock::time_point(std::chrono::seconds(1796734207));
  EXPECT_EQ(FormatSavedTime(time), "2026-12-08T12:50:07Z");
}

struct BadFile {
  const char* name;
  std::string text;
  const char* english;  // after "<path>: "
  const char* russian;  // after "Файл \"<path>\": "
};

const std::string HEAD = R"({"format": "velkor-profile", "version": 1, "device": "VK-3", )";

const BadFile BAD_FILES[] = {
    {"missing comma", "{\n  \"format\": \"velkor-profile\",\n  \"version\": 1\n  \"device\": \"VK-3\"\n}\n",
     "broken JSON at line 4, column 4: unterminated object", "ошибка в записи JSON, строка 4, позиция 4."},
    {"cut short", "{\n  \"format\": \"velkor-pro", "broken JSON at line 2, column 24: unterminated string",
     "ошибка в записи JSON, строка 2, позиция 24."},
    {"position counts letters, not bytes", "{\"note\": \"тест\" }x",
     "broken JSON at line 1, column 18: garbage at the end of the document",
     "ошибка в записи JSON, строка 1, позиция 18."},
    {"not UTF-8", "{\"note\": \"\xff\"}", "broken JSON at line 1, column 11: invalid UTF8 string",
     "ошибка в записи JSON, строка 1, позиция 11."},
    {"an array", "[1, 2]", "not a Velkor profile (no \"format\": \"velkor-profile\")",
     "это не профиль Velkor (нет \"format\": \"velkor-profile\")."},
    {"another format", R"({"format": "motor-settings", "version": 1})",
     "not a Velkor profile (its format is \"motor-settings\")", "это не профиль Velkor (формат \"motor-settings\")."},
    {"no version", R"({"format": "velkor-profile", "device": "VK-3", "parameters": {}})",
     "the field \"version\" is missing", "нет поля \"version\"."},
    {"newer version", R"({"format": "velkor-profile", "version": 2, "device": "VK-3", "parameters": {}})",
     "profile version 2 is newer than this program reads (1)",
     "профиль версии 2 записан более новой программой; эта читает версию 1."},
    {"version as text", R"({"format": "velkor-profile", "version": "1", "device": "VK-3", "parameters": {}})",
     "\"version\" must be a whole number", "поле \"version\" должно быть целым числом."},
    {"another device", R"({"format": "velkor-profile", "version": 1, "device": "VK-2", "parameters": {}})",
     "made for the device \"VK-2\", not the VK-3", "профиль для устройства \"VK-2\", а не VK-3."},
    {"no parameters", R"({"format": "velkor-profile", "version": 1, "device": "VK-3"})",
     "the field \"parameters\" is missing", "нет поля \"parameters\"."},
    {"parameters as a list", HEAD + R"("parameters": [8]})", "\"parameters\" must be an object",
     "поле \"parameters\" должно быть объектом."},
    {"note as a number", HEAD + R"("note": 5, "parameters": {}})", "\"note\" must be a string",
     "поле \"note\" должно быть строкой."},
    {"unknown name", HEAD + R"("parameters": {"motorCurrent": 1500}})", "unknown parameter \"motorCurrent\"",
     "неизвестный параметр \"motorCurrent\"."},
    {"fraction", HEAD + R"("parameters": {"motionCurrent": 1500.5}})",
     "\"motionCurrent\" must be a whole number, not 1500.5",
     "значение \"motionCurrent\" должно быть целым числом, а не 1500.5."},
    {"number as text", HEAD + R"("parameters": {"steps": "200"}})", "\"steps\" must be a whole number, not \"200\"",
     "значение \"steps\" должно быть целым числом, а не \"200\"."},
    {"current above the prompt's range", HEAD + R"("parameters": {"motionCurrent": 20001}})",
     "\"motionCurrent\" is 20001, outside the range 0-20000",
     "значение \"motionCurrent\" 20001 вне диапазона 0-20000."},
    {"delay above its range", HEAD + R"("parameters": {"reductionDelay": 60001}})",
     "\"reductionDelay\" is 60001, outside the range 0-60000",
     "значение \"reductionDelay\" 60001 вне диапазона 0-60000."},
    {"negative steps", HEAD + R"("parameters": {"steps": -1}})", "\"steps\" is -1, outside the range 0-30000",
     "значение \"steps\" -1 вне диапазона 0-30000."},
    {"KL above 15", HEAD + R"("parameters": {"levelingK": 16}})", "\"levelingK\" is 16, outside the range 0-15",
     "значение \"levelingK\" 16 вне диапазона 0-15."},
    {"huge acceleration", HEAD + R"("parameters": {"jogAccel": 1e9}})",
     "\"jogAccel\" is 1000000000, outside the range 0-1000",
     "значение \"jogAccel\" 1000000000 вне диапазона 0-1000."},
    {"division not in the list", HEAD + R"("parameters": {"stepDivision": 7}})",
     "\"stepDivision\" is 7, which is none of 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120",
     "деление шага 7 не из списка 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120."},
    {"division 0", HEAD + R"("parameters": {"stepDivision": 0}})",
     "\"stepDivision\" is 0, which is none of 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120",
     "деление шага 0 не из списка 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60, 120."},
    {"smoothing as a number", HEAD + R"("parameters": {"smoothing": 1}})",
     "\"smoothing\" must be true or false, not 1", "значение \"smoothing\" должно быть true или false, а не 1."},
    {"a parameter written twice",
     "{\"format\": \"velkor-profile\", \"version\": 1, \"device\": \"VK-3\", \"parameters\": {\n"
     "  \"steps\": 400,\n  \"jogSpeed\": 60,\n  \"steps\" : 4000\n}}",
     "\"steps\" is written twice, again at line 4, column 3",
     "ключ \"steps\" записан дважды, второй раз в строке 4, позиция 3."},
    {"a key written twice, once with an escape", HEAD + R"("parameters": {"steps": 400, "st\u0065ps": 4000}})",
     "\"steps\" is written twice, again at line 1, column 91",
     "ключ \"steps\" записан дважды, второй раз в строке 1, позиция 91."},
    {"a note written twice", HEAD + R"("note": "a", "note": "b", "parameters": {}})",
     "\"note\" is written twice, again at line 1, column 75",
     "ключ \"note\" записан дважды, второй раз в строке 1, позиция 75."},
    {"too large", std::string(MAX_PROFILE_BYTES + 1, ' '), "too large for a profile (over 1 MiB)",
     "слишком велик для профиля (больше 1 МБ)."},
};

TEST(ProfileFile, EveryBadFileIsRefusedWithItsNameAndProblemAndNoValues) {
  TempDir dir;
  for (const BadFile& bad : BAD_FILES) {
    SCOPED_TRACE(bad.name);
    const std::string path = dir / "bad.json";
    WriteText(path, bad.text);
    Profile read;
    const auto error = ReadProfile(path, read);
    ASSERT_TRUE(error);
    EXPECT_EQ(ProfileErrorText(*error, Language::English), path + ": " + bad.english);
    EXPECT_EQ(ProfileErrorText(*error, Language::Russian), "Файл \"" + path + "\": " + bad.russian);
    for (const auto& v : read.values) EXPECT_FALSE(v);
  }
}

TEST(ProfileFile, AnythingButARegularFileIsRefusedWithoutWaitingOnIt) {
  TempDir dir;
  const std::string fifo = dir / "fifo.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/tty"), std::string("/dev/zero")}) {
    Profile read;
    const auto error = ReadProfile(path, read);
    EXPECT_EQ(error ? ProfileErrorText(*error, Language::English) : "",
              path + ": not a regular file (a FIFO, a device or a socket); profiles are ordinary files");
  }
  EXPECT_TRUE(WriteProfile(FullProfile(), fifo));
}

TEST(ProfileFile, ASaveWritesThroughASymbolicLinkKeepsTheModeAndANewFileFollowsTheUmask) {
  TempDir dir;
  WriteText(dir / "bench.json", "old");
  ASSERT_EQ(chmod((dir / "bench.json").c_str(), 0604), 0);
  std::filesystem::create_symlink("bench.json", dir / "current.json");
  const mode_t umaskBefore = umask(027);
  EXPECT_FALSE(WriteProfile(FullProfile(), dir / "current.json"));
  EXPECT_FALSE(WriteProfile(FullProfile(), dir / "new.json"));
  umask(umaskBefore);
  EXPECT_EQ(std::filesystem::read_symlink(dir / "current.json"), "bench.json");
  EXPECT_EQ(FileText(dir / "bench.json"), ProfileText(FullProfile()));
  EXPECT_EQ(std::filesystem::status(dir / "bench.json").permissions(), std::filesystem::perms(0604));
  EXPECT_EQ(std::filesystem::status(dir / "new.json").permissions(), std::filesystem::perms(0640));
}

TEST(ProfileFile, AMissingFileSaysSo) {
  Profile read;
  const auto error = ReadProfile("/nonexistent/velkor.json", read);
  ASSERT_TRUE(error);
  EXPECT_EQ(ProfileErrorText(*error, Language::English),
            "/nonexistent/velkor.json: cannot read it: No such file or directory");
  EXPECT_EQ(ProfileErrorText(*error, Language::Russian),
            "Файл \"/nonexistent/velkor.json\": не удалось прочитать: файл не найден.");
}

}  // namespace
}  // namespace velkor
