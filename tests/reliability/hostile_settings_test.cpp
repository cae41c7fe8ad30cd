// Settings files that fight back, read where the programs read them: the window's start-up
// (Form_Load through the control doubles) and the built command-line program with the file beside
// it. Whatever "quorvane.ini" holds, both start, and both end up with the same tag and marker
// check, the ones the profile reader's rules give. A file that exists but cannot be read is named
// with the reason: the window then goes on with the defaults, the command line touches no page.
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "run/form1.h"
#include "tests/support/fake_controls.h"
#include "tests/support/page_assertions.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Who reads the settings: the superuser reads any file, so a file only its owner may read is
// tried as an unprivileged user.
enum class Reader { owner, unprivileged };

struct HostileIni {
  const char* name;
  std::string content;  // written as quorvane.ini with mode 0600, unless it must be a folder
  MarkerCheck check;
  std::string tag;
  Reader reader = Reader::owner;
  bool is_folder = false;
  const char* refusal = nullptr;  // why the file cannot be read, when it cannot
};

// Names a case in test listings, instead of its bytes.
void PrintTo(const HostileIni& ini, std::ostream* out) { *out << ini.name; }

std::string utf16le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

std::string noise(std::size_t size) {
  std::string bytes;
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 23);
  }
  return bytes;
}

const std::string kAll = "[parametres]\r\nverification=off\r\nbalise=</main>\r\n";

const HostileIni kCases[] = {
    {"empty", "", MarkerCheck::on, "</body>"},
    {"binaryNoise", noise(64 * 1024), MarkerCheck::on, "</body>"},
    {"noiseThenSettings", noise(4096) + "\n" + kAll, MarkerCheck::off, "</main>"},
    {"megabyteLineBefore", std::string(1 << 20, 'x') + "\n" + kAll, MarkerCheck::off, "</main>"},
    {"megabyteValue", "[parametres]\nbalise=<" + std::string(1 << 20, 'y'), MarkerCheck::on,
     "<" + std::string(94, 'y')},
    {"headerWithoutBracket", "[parametres\nverification=off\nbalise=</main>", MarkerCheck::off,
     "</main>"},
    {"duplicatedSectionsAndKeys",
     "[parametres]\nbalise=</main>\nbalise=</p>\n[parametres]\nverification=off\n", MarkerCheck::on,
     "</main>"},
    {"utf8ByteOrderMark", "\xEF\xBB\xBF" + kAll, MarkerCheck::off, "</main>"},
    {"utf16ByteOrderMark", utf16le(kAll), MarkerCheck::off, "</main>"},
    {"carriageReturnsOnly", "[parametres]\rverification=off\rbalise=</main>\r", MarkerCheck::off,
     "</main>"},
    {"value95", "[parametres]\nbalise=" + std::string(95, 'a'), MarkerCheck::on,
     std::string(95, 'a')},
    {"value96", "[parametres]\nbalise=" + std::string(96, 'b'), MarkerCheck::on,
     std::string(95, 'b')},
    {"value200", "[parametres]\nbalise=" + std::string(200, 'c'), MarkerCheck::on,
     std::string(95, 'c')},
    {"folderOfThatName", "", MarkerCheck::on, "</body>", Reader::owner, true, "it is a folder"},
    {"unreadableForItsReader", kAll, MarkerCheck::on, "</body>", Reader::unprivileged, false,
     "Permission denied"},
};

class HostileSettings : public ::testing::TestWithParam<HostileIni> {
 protected:
  TempFolder dir;
  std::string bin = dir / "bin";

  void SetUp() override {
    open_to_everyone(dir.path());
    fs::create_directory(bin);
    const HostileIni& ini = GetParam();
    if (ini.is_folder) {
      fs::create_directory(bin + "/quorvane.ini");
    } else {
      dir.write("bin/quorvane.ini", ini.content);
      fs::permissions(bin + "/quorvane.ini", fs::perms::owner_read | fs::perms::owner_write);
    }
  }

  // Runs `body` as the case's reader; its result, or -1 when it could not run.
  int as_reader(const std::function<int()>& body) {
    return GetParam().reader == Reader::unprivileged ? run_unprivileged(body) : body();
  }
};

TEST_P(HostileSettings, windowStartsWithTheSettingsTheReaderGives) {
  const HostileIni& ini = GetParam();
  const int outcome = as_reader([&] {
    FakeWindow w;
    Form1 form{w.controls()};
    w.connect_form(form);
    w.platform.app_folder = bin + "/";
    form.Form_Load();
    const FormState& state = form.state();
    const auto& boxes = w.message_box.shown;
    const bool told =
        ini.refusal == nullptr
            ? boxes.empty()
            : boxes.size() == 1 &&
                  boxes[0].prompt.find(bin + "/quorvane.ini\n" + ini.refusal) != std::string::npos;
    return (state.tag_text == ini.tag ? 0 : 1) | (state.verification_on == ini.check ? 0 : 2) |
           (state.settings_path == bin + "/quorvane.ini" ? 0 : 4) | (told ? 0 : 8);
  });
  EXPECT_EQ(outcome, 0) << "1: tag, 2: marker check, 4: settings path, 8: message box";
}

TEST_P(HostileSettings, commandLineStartsWithTheSettingsTheReaderGives) {
  const HostileIni& ini = GetParam();
  const std::string program = bin + "/quorvane-insert-cli";
  fs::copy_file(QV_CLI_PATH, program);
  dir.write("snippet.txt", kSnippet);
  dir.write("plain.txt", "plain");
  const std::string page = "<p>" + ini.tag + "</p>";
  for (const char* name : {"tagged.html", "plain.html"}) {
    dir.write(name, page);
    fs::permissions(dir / name, fs::perms::all);
  }

  if (ini.refusal != nullptr) {
    const int refused = as_reader([&] {
      const ProgramOutput r = run_program(program, {"snippet.txt", "tagged.html"}, dir.path());
      return r.exit_code == 1 && r.err == "quorvane-insert-cli: cannot read the settings file '" +
                                              bin + "/quorvane.ini': " + ini.refusal +
                                              "; no page has been changed\n"
                 ? 0
                 : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(dir.read("tagged.html"), page);
    return;
  }

  // The snippet goes in before the tag the settings give, at its exact place.
  const int tagged = as_reader([&] {
    return run_program(program, {"snippet.txt", "tagged.html"}, dir.path()).exit_code;
  });
  EXPECT_EQ(tagged, 0);
  EXPECT_EQ(dir.read("tagged.html"), "<p>\r\n" + kSnippet + "\r\n" + ini.tag + "</p>");

  // A text without the marker is refused only when the settings leave the check on.
  const int plain = as_reader([&] {
    return run_program(program, {"plain.txt", "plain.html"}, dir.path()).exit_code;
  });
  if (ini.check == MarkerCheck::on) {
    EXPECT_EQ(plain, 3);
    EXPECT_EQ(dir.read("plain.html"), page);
  } else {
    EXPECT_EQ(plain, 0);
    EXPECT_EQ(dir.read("plain.html"), "<p>\r\nplain\r\n" + ini.tag + "</p>");
  }
}

INSTANTIATE_TEST_SUITE_P(Ini, HostileSettings, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileIni>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace qv::testing
