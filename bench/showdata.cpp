// Writes the small generated package the show's tests use into a folder, for benches and soaks
// on a machine whose build has no default content yet.
#include <cstdio>
#include <fstream>
#include <string>

#include "shell/scene_data.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        printf("Usage: showdata FOLDER\nWrites a generated vantrel.dat with every id the show reads into FOLDER.\n");
        return argc == 2 ? 0 : 2;
    }
    SceneData data;
    if (!data.ok) {
        fprintf(stderr, "showdata: cannot make the package\n");
        return 1;
    }
    std::string target = std::string(argv[1]) + "/vantrel.dat";
    std::ifstream in(data.dir.File("vantrel.dat"), std::ios::binary);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.close();
    if (!in || !out) {
        fprintf(stderr, "showdata: cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}
