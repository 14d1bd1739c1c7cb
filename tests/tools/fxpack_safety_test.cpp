// fxpack as a careless user drives it: outputs that are links, pipes, inputs or missing
// folders, damaged and mislabelled inputs, interrupted runs. Each case checks the exit code, the
// message and that nothing but the intended output changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "models/model.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace {

typedef std::map<std::string, std::string> Snapshot;

// Every entry under root (links not followed): its kind, mode, inode, link target and, for plain
// files, a checksum of the bytes.
void TakeSnapshot(const std::string& root, const std::string& rel, Snapshot* snap) {
    for (const std::string& name : fxTestListDir(root + rel)) {
        std::string path = rel + "/" + name;
        struct stat st;
        if (lstat((root + path).c_str(), &st) != 0) {
            continue;
        }
        char head[96];
        snprintf(head, sizeof(head), "mode %o inode %llu links %d ", (unsigned)st.st_mode,
                 (unsigned long long)st.st_ino, (int)st.st_nlink);
        std::string record = head;
        if (S_ISLNK(st.st_mode)) {
            char target[1024];
            ssize_t n = readlink((root + path).c_str(), target, sizeof(target));
            record += "-> " + std::string(target, n > 0 ? (size_t)n : 0);
        } else if (S_ISREG(st.st_mode)) {
            FXBytes bytes;
            fxTestReadFile(root + path, &bytes);
            uint64_t h = 1469598103934665603ull;
            for (uint8_t b : bytes) {
                h = (h ^ b) * 1099511628211ull;
            }
            record += "size " + std::to_string(bytes.size()) + " sum " + std::to_string(h);
        } else if (S_ISDIR(st.st_mode)) {
            TakeSnapshot(root, path, snap);
        }
        (*snap)[path.substr(1)] = record;
    }
}

// Paths that appeared, went or changed between two snapshots.
std::set<std::string> Changed(const Snapshot& before, const Snapshot& after) {
    std::set<std::string> changed;
    for (const auto& b : before) {
        auto a = after.find(b.first);
        if (a == after.end() || a->second != b.second) {
            changed.insert(b.first);
        }
    }
    for (const auto& a : after) {
        if (before.count(a.first) == 0) {
            changed.insert(a.first);
        }
    }
    return changed;
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500; i++) {
        if (done()) {
            return true;
        }
        usleep(20000);
    }
    return false;
}

int Lines(const std::string& text) {
    return (int)std::count(text.begin(), text.end(), '\n');
}

class FxpackSafetyTest : public ::testing::Test {
protected:
    FXTestDir dir;     // where the user works
    FXTestDir scratch; // the tool's TMPDIR and the test's own files, apart from dir

    FXTestRun Run(const std::vector<std::string>& args) {
        return fxTestRunTool(FXPACK_PATH, dir, args, "TMPDIR='" + scratch.path + "' ");
    }

    Snapshot Take() {
        Snapshot snap;
        TakeSnapshot(dir.path, "", &snap);
        Snapshot tmp;
        TakeSnapshot(scratch.path, "", &tmp);
        for (const auto& t : tmp) {
            snap["TMPDIR/" + t.first] = t.second;
        }
        return snap;
    }

    void Write(const std::string& name, const std::string& text) { ASSERT_TRUE(fxTestWriteText(dir.File(name), text)); }

    // A package whose entry 3 holds "hello\n", beside its sources.
    void WritePackage() {
        Write("notes.txt", "hello\n");
        Write("photo.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg bytes");
        Write("m.txt", "1 photo.jpg\n3 notes.txt\n");
        FXTestRun r = Run({"build", "-q", "m.txt", "-o", "k.dat"});
        ASSERT_EQ(r.status, 0) << r.err;
    }

    // A textured triangle in src/; without picture, src/wood.png is the caller's to make.
    void WriteTexturedObj(bool picture) {
        ASSERT_EQ(mkdir(dir.File("src").c_str(), 0755), 0);
        Write("src/box.mtl", "newmtl wood\nmap_Kd wood.png\n");
        Write("src/box.obj", "mtllib box.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0.25\nvt 1 1\nusemtl wood\n"
                             "f 1/1 2/2 3/3\n");
        if (picture) {
            ASSERT_TRUE(fxLoadDevil());
            FXCanvas canvas;
            ASSERT_TRUE(canvas.pixmap.Realloc(4, 4));
            ASSERT_TRUE(canvas.SaveToPict(dir.File("src/wood.png").c_str()));
            canvas.Destroy();
            fxUnloadDevil();
        }
    }

    // Starts the tool in the background; its process id.
    pid_t Start(const std::vector<std::string>& args) {
        std::string cmd = "cd '" + dir.path + "' && TMPDIR='" + scratch.path + "' '" FXPACK_PATH "'";
        for (const std::string& a : args) {
            cmd += " '" + a + "'";
        }
        std::string pidFile = scratch.File("pid");
        cmd += " >/dev/null 2>&1 </dev/null & echo $! > '" + pidFile + "'";
        if (system(cmd.c_str()) != 0) {
            return -1;
        }
        pid_t pid = (pid_t)atoi(fxTestReadText(pidFile).c_str());
        remove(pidFile.c_str());
        return pid;
    }

    bool TempFileExists() {
        for (const auto& e : Take()) {
            if (e.first.find(".fxtmp-") != std::string::npos || e.first.find("TMPDIR/fxpack-") == 0) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(FxpackSafetyTest, OutputsKeepWhatTheyAre) {
    WritePackage();
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::vector<std::string> args;
        int status;
        std::string err;               // the whole of standard error
        std::set<std::string> changed; // the only paths that may change
        std::function<void()> check;   // after the run
    } cases[] = {
        {"standard output", [] {}, {"extract", "k.dat", "3", "-"}, 0, "", {}, nullptr},
        {"a link is followed, its target keeps its mode",
         [&] {
             Write("target.txt", "old");
             ASSERT_EQ(chmod(dir.File("target.txt").c_str(), 0640), 0);
             ASSERT_EQ(symlink("target.txt", dir.File("link.txt").c_str()), 0);
         },
         {"extract", "k.dat", "3", "link.txt"},
         0,
         "",
         {"target.txt"},
         [&] {
             struct stat st;
             ASSERT_EQ(stat(dir.File("target.txt").c_str(), &st), 0);
             EXPECT_EQ(st.st_mode & 0777, 0640u);
             EXPECT_EQ(fxTestReadText(dir.File("link.txt")), "hello\n");
         }},
        {"a dangling link makes its target",
         [&] { ASSERT_EQ(symlink("made.txt", dir.File("new.lnk").c_str()), 0); },
         {"extract", "k.dat", "3", "new.lnk"},
         0,
         "",
         {"made.txt"},
         [&] { EXPECT_EQ(fxTestReadText(dir.File("made.txt")), "hello\n"); }},
        {"a hard link stays one file",
         [&] {
             Write("a.txt", "old");
             ASSERT_EQ(link(dir.File("a.txt").c_str(), dir.File("b.txt").c_str()), 0);
         },
         {"extract", "k.dat", "3", "b.txt"},
         0,
         "",
         {"a.txt", "b.txt"},
         [&] { EXPECT_EQ(fxTestReadText(dir.File("a.txt")), "hello\n"); }},
        {"the user's own .tmp file is left alone",
         [&] { Write("x.bin.tmp", "mine"); },
         {"extract", "k.dat", "3", "x.bin"},
         0,
         "",
         {"x.bin"},
         nullptr},
        {"a missing folder",
         [] {},
         {"extract", "k.dat", "3", "nodir/x.bin"},
         1,
         "fxpack: cannot write nodir/x.bin: there is no folder nodir/\n",
         {},
         nullptr},
        {"a folder",
         [&] { ASSERT_EQ(mkdir(dir.File("adir").c_str(), 0755), 0); },
         {"extract", "k.dat", "3", "adir"},
         1,
         "fxpack: cannot write adir: it is a folder\n",
         {},
         nullptr},
        {"two outputs of one build in one file",
         [] {},
         {"build", "m.txt", "-o", "n.dat", "--names", "./n.dat"},
         2,
         "fxpack: n.dat and ./n.dat name the same file\ntry 'fxpack build --help'\n",
         {},
         nullptr},
        {"a file in place of a folder",
         [] {},
         {"extract", "k.dat", "3", "notes.txt/x"},
         1,
         "fxpack: cannot write notes.txt/x: there is no folder notes.txt/\n",
         {},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        Snapshot before = Take();
        FXTestRun r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(Changed(before, Take()), c.changed);
        if (c.check) {
            c.check();
        }
        if (c.args.back() == "-") {
            EXPECT_EQ(r.out, "hello\n");
        }
    }
}

TEST_F(FxpackSafetyTest, PipesAreWrittenThroughNotReplaced) {
    WritePackage();
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    std::string got = scratch.File("got");
    std::string reader = "cat '" + dir.File("pipe") + "' > '" + got + "' &";
    ASSERT_EQ(system(reader.c_str()), 0);
    Snapshot before = Take();
    FXTestRun r = Run({"extract", "k.dat", "3", "pipe"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(WaitFor([&] { return fxTestReadText(got) == "hello\n"; }));
    std::set<std::string> changed = Changed(before, Take());
    changed.erase("TMPDIR/got");
    EXPECT_TRUE(changed.empty());
}

TEST_F(FxpackSafetyTest, AnOutputThatIsAnInputIsRefusedBeforeAnyWork) {
    WritePackage();
    WriteTexturedObj(true);
    Write("t.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_EQ(symlink("t.obj", dir.File("t-link.obj").c_str()), 0);
    ASSERT_EQ(Run({"model", "t.obj", "-o", "x.xm"}).status, 0);
    const std::vector<std::vector<std::string>> lines = {
        {"model", "t.obj", "-o", "t.obj"},
        {"model", "t.obj", "-o", "t-link.obj"},
        {"model", "src/box.obj", "-o", "src/box.mtl"},
        {"model", "src/box.obj", "-o", "src/wood.png"},
        {"build", "m.txt", "-o", "m.txt"},
        {"build", "m.txt", "-o", "photo.jpg"},
        {"build", "m.txt", "-o", "new.dat", "--names", "notes.txt"},
        {"extract", "k.dat", "1", "k.dat"},
        {"reduce", "x.xm", "-o", "x.xm", "--tolerance", "1"},
        {"reduce", "k.dat", "3", "-o", "./k.dat", "--tolerance", "1"},
    };
    for (const auto& line : lines) {
        SCOPED_TRACE(line[0] + " -o " + line[3]);
        Snapshot before = Take();
        FXTestRun r = Run(line);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.find("fxpack: refusing to write "), 0u) << r.err;
        EXPECT_TRUE(Changed(before, Take()).empty());
    }
}

TEST_F(FxpackSafetyTest, DamagedOrMislabelledInputFailsAndWritesNothing) {
    WritePackage();
    Write("t.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n");
    ASSERT_EQ(Run({"model", "t.obj", "-o", "t.xm"}).status, 0);
    FXBytes model, pkg;
    ASSERT_TRUE(fxTestReadFile(dir.File("t.xm"), &model));
    ASSERT_TRUE(fxTestReadFile(dir.File("k.dat"), &pkg));
    ASSERT_TRUE(fxTestWriteFile(dir.File("cut.xm"), FXBytes(model.begin(), model.end() - 20)));
    ASSERT_TRUE(fxTestWriteFile(dir.File("cut.dat"), FXBytes(pkg.begin(), pkg.end() - 3)));
    FXBytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0, 0, 0, 0};
    ASSERT_TRUE(fxTestWriteFile(dir.File("jpeg.obj"), jpeg));
    Write("comments.obj", "# nothing here\n");
    Write("text.jpg", "not a picture\n");
    Write("bad.txt", "1 text.jpg\n");
    Write("empty.txt", "# no entries\n\n");
    Write("adir.txt", "1 .\n");
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);

    struct {
        std::vector<std::string> args;
        int status;
        const char* message; // the last line of standard error
    } cases[] = {
        {{"info", "cut.xm"}, 1, "fxpack: cut.xm is a damaged model (cut short?)"},
        {{"reduce", "cut.xm", "-o", "r.xm", "--tolerance", "1"}, 1, "fxpack: cut.xm is a damaged model (cut short?)"},
        {{"model", "jpeg.obj", "-o", "r.xm"}, 1, "fxpack: jpeg.obj is not an OBJ file: it holds binary data"},
        {{"model", "comments.obj", "-o", "r.xm"},
         1,
         "fxpack: comments.obj holds no faces: there is nothing to make a model of"},
        {{"build", "bad.txt", "-o", "r.dat"},
         1,
         "fxpack: bad.txt:1: text.jpg is not a JPEG picture: its bytes are no picture fxpack knows"},
        {{"build", "empty.txt", "-o", "r.dat"}, 1, "fxpack: empty.txt holds no entries: a package needs at least one"},
        {{"build", "adir.txt", "-o", "r.dat"}, 1, "fxpack: adir.txt:1: cannot read .: it is a folder"},
        {{"extract", "cut.dat", "1", "r.bin"},
         1,
         "fxpack: cut.dat is damaged: 1 entries reach past the end of its data (is the file cut short?)"},
        {{"info", "k.dat", "3"}, 1, "fxpack: entry 3 of k.dat is not a model"},
        {{"info", "k.dat", "9"}, 1, "fxpack: k.dat has no entry with id 9"},
        // One wording for one mistake, whatever the command.
        {{"list", "gone.dat"}, 1, "fxpack: cannot read gone.dat: No such file or directory"},
        {{"extract", "gone.dat", "1", "r.bin"}, 1, "fxpack: cannot read gone.dat: No such file or directory"},
        {{"info", "gone.xm"}, 1, "fxpack: cannot read gone.xm: No such file or directory"},
        {{"reduce", "gone.xm", "-o", "r.xm", "--tolerance", "1"},
         1,
         "fxpack: cannot read gone.xm: No such file or directory"},
        {{"model", "gone.obj", "-o", "r.xm"}, 1, "fxpack: cannot read gone.obj: No such file or directory"},
        {{"build", "gone.txt", "-o", "r.dat"}, 1, "fxpack: cannot read gone.txt: No such file or directory"},
        {{"list", "."}, 1, "fxpack: cannot read .: it is a folder"},
        {{"model", ".", "-o", "r.xm"}, 1, "fxpack: cannot read .: it is a folder"},
        {{"build", ".", "-o", "r.dat"}, 1, "fxpack: cannot read .: it is a folder"},
        {{"info", "fifo"}, 1, "fxpack: cannot read fifo: it is not a plain file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Snapshot before = Take();
        FXTestRun r = Run(c.args);
        EXPECT_EQ(r.status, c.status);
        std::string last = r.err.substr(0, r.err.size() - 1);
        last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
        EXPECT_EQ(last, c.message) << r.err;
        EXPECT_TRUE(Changed(before, Take()).empty());
    }
}

TEST_F(FxpackSafetyTest, PictureKindsComeFromTheBytes) {
    struct {
        const char* file;
        std::string bytes;
        const char* kind;
        bool warned; // the name says another kind
    } pictures[] = {
        {"earth.jpeg", std::string("\xFF\xD8\xFF\xE1", 4), "JPEG", false},
        {"fake.jpg", std::string("\x89PNG\r\n\x1A\n", 8), "PNG", true},
        {"scan.TIF", std::string("II*\0", 4), "TIFF", false},
        {"anim.bin", "GIF89a", "GIF", true},
        {"old.bmp", std::string("BM\x40\0\0\0\0\0\0\0\x36\0\0\0", 14), "BMP", false},
        {"notes.txt", "just text", "data", false},
    };
    std::string manifest;
    for (size_t i = 0; i < sizeof(pictures) / sizeof(pictures[0]); i++) {
        Write(pictures[i].file, pictures[i].bytes + std::string(32, '\x01'));
        manifest += std::to_string(i) + " " + pictures[i].file + "\n";
    }
    Write("m.txt", manifest);
    FXTestRun r = Run({"build", "m.txt", "-o", "p.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& p : pictures) {
        bool warned = r.err.find(std::string(p.file) + " holds a " + p.kind + " picture") != std::string::npos;
        EXPECT_EQ(warned, p.warned) << p.file << "\n" << r.err;
    }
    r = Run({"list", "p.dat"});
    std::vector<std::string> kinds;
    for (size_t at = r.out.find('\n') + 1, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = r.out.substr(at, end - at);
        kinds.push_back(line.substr(line.rfind(' ') + 1));
    }
    std::vector<std::string> want;
    for (const auto& p : pictures) {
        want.push_back(p.kind);
    }
    EXPECT_EQ(kinds, want) << r.out;
}

TEST_F(FxpackSafetyTest, ObjImportSumsUpWhatItSkipped) {
    Write("g.obj", "v 0 0 0\n"              // 1
                   "v 1 0 0\n"              // 2
                   "v 1 1 0\n"              // 3
                   "this is no statement\n" // 4
                   "f 1 2 99\n"             // 5
                   "f a b c\n"              // 6
                   "v 1 1 hello\n"          // 7
                   "v 1e999 0 0\n"          // 8
                   "usemtl nothing\n"       // 9
                   "f 1 2 3\n"              // 10
                   "o part\n"               // 11
                   "f 1 2\n"                // 12
                   "nonsense\n");           // 13
    FXTestRun r = Run({"model", "g.obj", "-o", "g.xm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "fxpack: warning: g.obj: 2 lines that are no statement, skipped (lines 4, 13)\n"
                     "fxpack: warning: g.obj: 2 v, vn or vt lines with a missing, unreadable or infinite number, not "
                     "read as written (lines 7, 8)\n"
                     "fxpack: warning: g.obj: 1 faces or lines with a corner that is no index, skipped (line 6)\n"
                     "fxpack: warning: g.obj: 1 faces or lines naming a vertex, texture coordinate or normal that does "
                     "not exist, skipped (line 5)\n"
                     "fxpack: warning: g.obj: 1 faces with fewer than 3 corners or lines with fewer than 2 points, "
                     "skipped (line 12)\n"
                     "fxpack: warning: g.obj: 1 usemtl naming a material the library does not hold, drawn plain "
                     "(line 9)\n"
                     "fxpack: warning: g.obj: 1 statements the engine has no use for (o, s, ...), ignored (line 11)\n");
    EXPECT_TRUE(fxTestFileExists(dir.File("g.xm")));
    r = Run({"model", "-q", "g.obj", "-o", "q.xm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    // Under --strict a skipped statement fails the import; an ignored one does not.
    Snapshot before = Take();
    r = Run({"model", "--strict", "g.obj", "-o", "g.xm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fxpack: g.obj: 2 lines that are no statement"), std::string::npos) << r.err;
    EXPECT_TRUE(Changed(before, Take()).empty());
    Write("o.obj", "o thing\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(Run({"model", "--strict", "o.obj", "-o", "o.xm"}).status, 0);

    // Only the first few line numbers of a cause are shown.
    std::string many = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    for (int i = 0; i < 40; i++) {
        many += "junk\n";
    }
    Write("many.obj", many);
    r = Run({"model", "many.obj", "-o", "many.xm"});
    EXPECT_EQ(r.err, "fxpack: warning: many.obj: 40 lines that are no statement, skipped (lines 5, 6, 7, 8, 9, ...)\n");
}

TEST_F(FxpackSafetyTest, FlipVStoresOneMinusV) {
    WriteTexturedObj(true);
    ASSERT_EQ(Run({"model", "src/box.obj", "-o", "src/plain.xm"}).status, 0);
    ASSERT_EQ(Run({"model", "src/box.obj", "-o", "src/flipped.xm", "--flip-v"}).status, 0);
    TestEnv env;
    fxSetEnv(&env);
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof(buf)), nullptr);
    ASSERT_EQ(chdir(dir.File("src").c_str()), 0);
    FXModel plain, flipped;
    EXPECT_TRUE(plain.Load("plain.xm"));
    EXPECT_TRUE(flipped.Load("flipped.xm"));
    ASSERT_EQ(plain.loadedMeshes.size, 1);
    ASSERT_EQ(flipped.loadedMeshes.size, 1);
    FXMesh* a = (FXMesh*)plain.loadedMeshes.elements[0];
    FXMesh* b = (FXMesh*)flipped.loadedMeshes.elements[0];
    ASSERT_EQ(a->vertexCount, 3);
    ASSERT_EQ(b->vertexCount, a->vertexCount);
    for (int i = 0; i < a->vertexCount; i++) {
        EXPECT_FLOAT_EQ(b->vertices[i].texCoord[0], a->vertices[i].texCoord[0]) << i;
        EXPECT_FLOAT_EQ(b->vertices[i].texCoord[1], 1.0f - a->vertices[i].texCoord[1]) << i;
    }
    EXPECT_FLOAT_EQ(a->vertices[1].texCoord[1], 0.25f);
    plain.Destroy();
    flipped.Destroy();
    ASSERT_EQ(chdir(buf), 0);
    fxSetEnv(nullptr);
}

TEST_F(FxpackSafetyTest, TerminatingSignalsLeaveNothingBehind) {
    WritePackage();
    WriteTexturedObj(false);
    // A texture that is a pipe holds the import until someone writes to it: the run is caught
    // with its temporary files made.
    ASSERT_EQ(mkfifo(dir.File("src/wood.png").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    Write("show.txt", "1 src/box.obj\n2 notes.txt\n");
    const std::vector<std::vector<std::string>> lines = {
        {"model", "src/box.obj", "-o", "box.xm"},
        {"build", "show.txt", "-o", "p.dat", "--names", "p.names"},
        {"extract", "k.dat", "3", "pipe"}, // held while it waits for a reader
    };
    // SIGINT cannot stand in here: a shell starts background jobs with it ignored.
    for (int sig : {SIGTERM, SIGHUP}) {
        for (const auto& line : lines) {
            SCOPED_TRACE(line[0] + " " + std::to_string(sig));
            Snapshot before = Take();
            pid_t pid = Start(line);
            ASSERT_GT(pid, 0);
            EXPECT_TRUE(WaitFor([&] { return TempFileExists(); }));
            ASSERT_EQ(kill(pid, sig), 0);
            EXPECT_TRUE(WaitFor([&] { return kill(pid, 0) != 0 && errno == ESRCH; }));
            std::set<std::string> changed = Changed(before, Take());
            EXPECT_TRUE(changed.empty()) << *changed.begin();
        }
    }
}
