#include "app/data_location.h"

#include <gtest/gtest.h>

namespace tarnu {
namespace {

constexpr char kProgram[] = "C:\\Tools\\tarnu\\";
constexpr char kCurrent[] = "C:\\Windows\\system32\\";
constexpr char kAppData[] = "C:\\Users\\u\\AppData\\Roaming\\tarnu\\";

TEST(ChooseDataLocation, ExistingFilesFirstThenAWritableProgramFolder) {
  constexpr DataPlace kBeside = DataPlace::kProgramDirectory;
  constexpr DataPlace kCwd = DataPlace::kCurrentDirectory;
  constexpr DataPlace kApp = DataPlace::kApplicationData;
  struct Case {
    bool writable, beside, in_cwd, app_known, in_app;
    DataPlace place;
    bool create;
  } cases[] = {
      // A fresh portable copy: beside the program.
      {true, false, false, true, false, kBeside, false},
      // A fresh install under Program Files: the application data, made new.
      {false, false, false, true, false, kApp, true},
      // Files beside the program are found whether it is writable or not,
      // and over files elsewhere.
      {true, true, false, true, false, kBeside, false},
      {false, true, false, true, false, kBeside, false},
      {true, true, true, true, true, kBeside, false},
      {false, true, true, true, true, kBeside, false},
      // An older setup with the files in the working folder of a shortcut.
      {true, false, true, true, false, kCwd, false},
      {false, false, true, true, false, kCwd, false},
      {false, false, true, true, true, kCwd, false},
      // Started at sign-in (current directory: the system folder) after an
      // install under Program Files: the files made there before.
      {false, false, false, true, true, kApp, false},
      // Files under the application data win over a writable program folder
      // that has none (the folder became writable later).
      {true, false, false, true, true, kApp, false},
      // No application data folder known: beside the program all the same.
      {false, false, false, false, false, kBeside, false},
      {false, false, false, false, true, kBeside, false},
  };
  for (const Case& c : cases) {
    DataLocationFacts facts;
    facts.program_directory = kProgram;
    facts.program_directory_writable = c.writable;
    facts.files_beside_program = c.beside;
    facts.current_directory = kCurrent;
    facts.files_in_current_directory = c.in_cwd;
    facts.application_data = c.app_known ? kAppData : "";
    facts.files_in_application_data = c.in_app;
    DataLocation got = ChooseDataLocation(facts);
    std::string where = ::testing::PrintToString(
        std::vector<bool>{c.writable, c.beside, c.in_cwd, c.app_known, c.in_app});
    EXPECT_EQ(got.place, c.place) << where;
    EXPECT_EQ(got.create, c.create) << where;
    const char* directory = c.place == kBeside ? kProgram : c.place == kCwd ? kCurrent : kAppData;
    EXPECT_EQ(got.directory, directory) << where;
  }
}

}  // namespace
}  // namespace tarnu
