// The check that no file a job could write is one of its inputs: the same
// file under another name, through links, or as a numbered split file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/output_paths.h"
#include "tests/platform/avi_test_support.h"
#include "tests/support/temp_files.h"

namespace {

namespace fs = std::filesystem;

TEST(OutputPaths, AnOutputThatIsAnInputIsFound) {
  avi_test::TempDir dir;
  auto path = [&](const char* name) { return dir.File(name); };
  for (const char* name : {"in.mpg", "b1.avi", "b01.avi", "my.dir/film3.avi"}) {
    fs::create_directories(fs::path(path(name)).parent_path());
    avi_test::WriteFile(path(name), "stream");
  }
  fs::create_directory(path("sub"));
  fs::create_symlink(path("in.mpg"), path("link.avi"));
  fs::create_hard_link(path("in.mpg"), path("hard.avi"));
  fs::create_hard_link(path("in.mpg"), path("c7.avi"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);

  struct Case {
    const char* name;
    std::string output;
    bool split;
    std::vector<std::string> inputs;
    bool overwrites;
  };
  const Case cases[] = {
      {"the same path", path("in.mpg"), false, {path("in.mpg")}, true},
      {"the same file by another path", path("sub/../in.mpg"), false, {path("in.mpg")}, true},
      {"a symbolic link to the input", path("link.avi"), false, {path("in.mpg")}, true},
      {"an input given as a link", path("in.mpg"), false, {path("link.avi")}, true},
      {"a hard link to the input", path("hard.avi"), false, {path("in.mpg")}, true},
      {"the second of several inputs",
       path("in.mpg"),
       false,
       {path("b1.avi"), path("in.mpg")},
       true},
      {"a numbered split name", path("b.avi"), true, {path("b1.avi")}, true},
      {"a numbered name linked to the input", path("c.avi"), true, {path("in.mpg")}, true},
      {"a dot in a directory name", path("my.dir/film"), true, {path("my.dir/film3.avi")}, true},
      {"another file", path("other.avi"), false, {path("in.mpg")}, false},
      {"the path itself when splitting", path("in.mpg"), true, {path("in.mpg")}, false},
      {"a number the writer never writes", path("b.avi"), true, {path("b01.avi")}, false},
      {"standard input", path("in.mpg"), false, {"-"}, false},
      {"a pipe", path("fifo"), false, {path("fifo")}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PathList inputs(c.inputs);
    EXPECT_EQ(Output_Overwrites_Input(c.output, c.split, inputs.get()), c.overwrites);
  }
}

}  // namespace
