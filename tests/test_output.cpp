#include "formats/output.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

std::set<std::string> names_in(const fs::path& dir)
{
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

void write_file(const fs::path& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fputs(bytes.c_str(), f);
    std::fclose(f);
}

// An existing file is replaced (on Windows too, where a plain rename refuses to);
// an absent one is created; nothing else is left in the directory.
TEST(OutputFiles, CommitPutsEveryFileInPlaceTogether)
{
    const fs::path dir = fresh_dir("commit");
    write_file(dir / "result.txt", "old log\n");
    std::FILE* log = open_output(dir.string().c_str(), "result.txt");
    std::FILE* table = open_output(dir.string().c_str(), "result02.txt");
    ASSERT_NE(log, nullptr);
    ASSERT_NE(table, nullptr);
    std::fputs("new log\n", log);
    std::fputs("1215\n", table);
    EXPECT_EQ(read_file((dir / "result.txt").string()), "old log\n") << "replaced only at the commit";
    testing::internal::CaptureStderr();
    EXPECT_TRUE(commit_outputs());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(read_file((dir / "result.txt").string()), as_text_mode("new log\n"));
    EXPECT_EQ(read_file((dir / "result02.txt").string()), as_text_mode("1215\n"));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"result.txt", "result02.txt"}));
}

TEST(OutputFiles, DiscardKeepsThePreviousFiles)
{
    const fs::path dir = fresh_dir("discard");
    write_file(dir / "result02.txt", "old table\n");
    std::FILE* table = open_output(dir.string().c_str(), "result02.txt");
    ASSERT_NE(table, nullptr);
    std::fputs("half a table", table);
    discard_outputs();
    EXPECT_EQ(read_file((dir / "result02.txt").string()), "old table\n");
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"result02.txt"}));
}

// A final name that cannot be replaced is refused before anything is written,
// with the name as given and the reason.
TEST(OutputFiles, RefusedFinalNamesChangeNothing)
{
    const fs::path dir = fresh_dir("refused");
    fs::create_directory(dir / "result02.txt");
    struct Case {
        std::string name;
        std::string reason;
    };
    std::vector<Case> cases = {{"result02.txt", std::strerror(EISDIR)}};
#ifndef _WIN32
    cases.push_back({std::string(300, 'x'), std::strerror(ENAMETOOLONG)});
    ASSERT_EQ(mkfifo((dir / "fifo.txt").string().c_str(), 0644), 0);
    cases.push_back({"fifo.txt", "not a regular file"});
#endif
    const std::set<std::string> before = names_in(dir);
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_output(dir.string().c_str(), c.name.c_str()), nullptr) << c.name.substr(0, 20);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "phase_boundary: cannot open " + dir.string() + "/" + c.name + ": " + c.reason + "\n")
            << c.name.substr(0, 20);
        EXPECT_EQ(names_in(dir), before) << c.name.substr(0, 20);
    }
    EXPECT_TRUE(commit_outputs()) << "nothing is open";
}

#ifndef _WIN32
// A symbolic link is replaced by the new file; what it points to is not touched.
TEST(OutputFiles, SymbolicLinkIsReplacedNotFollowed)
{
    const fs::path dir = fresh_dir("symlink");
    write_file(dir / "elsewhere.txt", "kept\n");
    fs::create_symlink(dir / "elsewhere.txt", dir / "result02.txt");
    std::FILE* table = open_output(dir.string().c_str(), "result02.txt");
    ASSERT_NE(table, nullptr);
    std::fputs("1215\n", table);
    EXPECT_TRUE(commit_outputs());
    EXPECT_FALSE(fs::is_symlink(dir / "result02.txt"));
    EXPECT_EQ(read_file((dir / "result02.txt").string()), "1215\n");
    EXPECT_EQ(read_file((dir / "elsewhere.txt").string()), "kept\n");
}
#endif

}  // namespace
