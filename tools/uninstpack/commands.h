// The commands of `uninstpack` but harvest (harvest.h), callable without a process so the tests
// can drive them: each writes its report to `out`, its errors to `err`, and returns the exit code.
#pragma once
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "pack/uninst_data.h"
#include "tools/uninstpack/defines.h"

namespace uninstpack {

enum ExitCode { kExitClean = 0, kExitProblems = 1, kExitUnusable = 2 };

struct Options {
    bool strict = false;            // warnings fail with exit 1 (build then writes nothing)
    bool force = false;             // build: replace a read-only output
    bool json = false;              // verify: findings as JSON (inspect takes --json as an argument)
    std::istream* input = nullptr;  // what the file name "-" reads (the program: standard input)
    std::vector<Define> defines;    // build, verify: put into a manifest's "${NAME}"
};

// Writes `bytes` to outPath ("-": `out`) through a new file renamed over it, after refusing an
// output that is a folder, a device, one of the inputs (manifestPath, stubPath; either may be
// empty) or read-only without options.force. `what` names the output in the messages.
bool WriteOutput(const std::string& outPath, const Bytes& bytes, const char* what, const std::string& manifestPath,
                 const std::string& stubPath, const Options& options, std::ostream& out, std::ostream& err);

int RunBuild(const std::string& manifestPath, const std::string& stubPath, const std::string& outPath,
             std::ostream& out, std::ostream& err, const Options& options = {});
int RunInspect(const std::string& path, bool json, std::ostream& out, std::ostream& err,
               const Options& options = {});
int RunVerify(const std::string& path, std::ostream& out, std::ostream& err, const Options& options = {});
// The tags and names of the default texts' languages, one per line.
int RunLanguages(std::ostream& out);

// The same on bytes already read; `name` is how reports call the input.
int InspectBytes(const Bytes& file, const std::string& name, bool json, std::ostream& out, std::ostream& err);
// A manifest when the first non-blank byte is "{", an uninstaller file otherwise.
int VerifyBytes(const Bytes& content, const std::string& name, std::ostream& out, std::ostream& err,
                const Options& options = {});

// The certificate table that signing appends, as the PE header's security directory names it.
struct CertificateTable {
    uint32_t offset = 0, size = 0;
};
std::optional<CertificateTable> FindCertificateTable(const Bytes& file);

}  // namespace uninstpack
