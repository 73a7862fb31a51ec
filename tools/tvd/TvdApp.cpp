#include "TvdApp.h"

#include "AnsiCodePage.h"
#include "Commands.h"
#include "Console.h"
#include "Suggestion.h"
#include "ToolError.h"
#include "VaultCommands.h"
#include "Wildcards.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <new>
#include <sstream>

namespace {

const char kJsonHelp[] = R"(JSON (--json):
  {"generation": "<the header's 29 characters>", "version": N,
   "blocks": [{"name": "...", "attributes": [
     {"name": "...", "type": "i4"|"r8"|"date"|"text", "value": ...}]}]}
  i4, r8: "value" is a JSON number. date: "value" is the automation date
  (days since 1899-12-30, the fraction the time of day) as a number, and
  "iso" its calendar form (2023-03-15T06:00:00, .mmm when not whole seconds),
  which 'tvd import' reads when "value" is absent.
  text: "value" is a string.
  What JSON cannot hold has a second key, which 'tvd import' prefers:
  - an r8 or date that is NaN or infinite: "value" is "NaN", "Infinity" or
    "-Infinity" and "bits" holds the double's 64 bits as 16 hex digits
    (so NaN payloads survive);
  - a name or text with a surrogate that is not part of a pair: the string
    shows U+FFFD in its place and "name_utf16" or "value_utf16" holds the
    exact UTF-16 code units, 4 hex digits each.
  Finite numbers are written so that they read back bit for bit (-0.0 too).
  'tvd import' of this JSON writes the same bytes as 'tvd convert' of the
  file it came from: a file that convert leaves unchanged comes back byte
  for byte. Convert, and so the JSON, drops what a load drops: a name or
  text from its first zero character on, bytes after the last block, and
  the type tag of a value stored as text under another tag.)";

const char kPatternHelp[] =
    R"(PATTERN: an attribute name, compared without regard to case; the exact
name is tried first. Otherwise a leading and/or trailing '*' makes it a
pattern: 'Date*' begins with, '*no' ends with, '*rev*' contains, '*' is
the first attribute. BLOCK is always an exact name.)";

const char kSetHelp[] = R"(Without --type, VALUE keeps the type of the attribute it replaces: a
VALUE that is not of that type is a usage error that changes nothing
(--type text stores it as text instead); a new attribute is text.
Types: text, i4 (32-bit integer), r8 (double; NaN and Infinity too),
date: ISO 8601 local time (2023-03-15, 2023-03-15T06:00,
2023-03-15T06:00:00.250) or the automation date as a number of days.
When nothing matches PATTERN, an attribute of that exact name is added
(and the block, when it is missing). The file is saved all or nothing, in
the newest generation. Put -- before a VALUE that starts with '-' and is not
a number.)";

const char kTreeHelp[] =
    R"(With -r, each folder named is walked for files whose names end in .tvd (in
any case), in a stable order: the arguments as given, each folder's entries
sorted by name. Symbolic links found in the walk are not followed unless
--follow; those named on the command line are. A folder named without -r
is reported as a file that cannot be opened. The files are worked on by -j
threads at once (default: one per core); the report keeps the order.

A name is shown so that it cannot break its line: a control character as
\n, \t, \r or \xHH, and so is each byte that is not UTF-8.
After the lines comes a summary (except for one FILE named alone); on a
terminal, standard error shows the progress meanwhile.

--json writes JSON Lines, one object per file:
  {"path": "...", "status": "...", "reason": "..."|null,
   "offset": N|null, "complete_blocks": N|null, "blocks": N|null,
   "attributes": N|null, "version": N|null, "generation": "..."|null}
"offset" and "complete_blocks" are set for a bad format; "blocks",
"attributes" and "version" for a file read to its end. When the name is not
UTF-8, "path" shows U+FFFD for each byte that is not, and "path_bytes" holds
the name's bytes as 2 hex digits each. The summary then goes to standard
error. Exit status: 0 when every file is fine, 1 when any is not.)";

const char kCheckHelp[] = R"(Each file gets one line: FILE: ok (B blocks, A attributes, version V),
FILE: cannot open (REASON) or FILE: bad format at byte OFFSET (K complete
blocks before the fault); with -q only the files that are not ok. JSON
"status" is "ok", "cannot-open" or "bad-format".
)";

const char kConvertHelp[] =
    R"(With one FILE, convert rewrites it (or writes -o OUT), saying nothing when
it succeeds. With several files, folders, -r, --json, -q, -j or --dry-run
it reports every file: converted, unchanged (it is already in the newest
form, byte for byte, and is not written again) or refused, and why. Each
file is saved all or nothing, so a run that was interrupted can be run
again: it converts what is left. JSON "status" is "converted", "unchanged"
or "refused", with "dry_run" true or false.
)";

// The parser takes everything after "--" as arguments; the tool takes only
// the one after it, so that options may still follow a value that starts
// with '-' (tvd set F B P -- -5 --type i4). Each such argument reaches the
// parser as a stand-in that cannot look like an option, and is put back
// after it.
class Literals {
 public:
  std::vector<std::string> StandIn(const std::vector<std::string>& args) {
    std::vector<std::string> out;
    for (size_t i = 0; i < args.size(); ++i) {
      if (i > 0 && args[i] == "--" && i + 1 < args.size()) {
        out.push_back(kMark + std::to_string(m_originals.size()) + kMark);
        m_originals.push_back(args[++i]);
      } else {
        out.push_back(args[i]);
      }
    }
    return out;
  }
  // The text with every stand-in in it replaced by its argument.
  std::string Restore(std::string text) const {
    for (size_t n = m_originals.size(); n-- > 0;) {
      const std::string standIn = kMark + std::to_string(n) + kMark;
      for (size_t at = text.find(standIn); at != std::string::npos;
           at = text.find(standIn, at + m_originals[n].size()))
        text.replace(at, standIn.size(), m_originals[n]);
    }
    return text;
  }

 private:
  static constexpr const char* kMark = "\x01";
  std::vector<std::string> m_originals;
};

const std::vector<std::string> kCommands = {"dump",    "import", "get",   "set",
                                            "convert", "new",    "check", "help"};
const std::vector<std::string> kToolOptions = {"-h", "--help", "-V", "--version", "--codepage"};

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// "unknown command 'dmp'; did you mean 'dump'?"
std::string Unknown(const char* what, const std::string& word,
                    const std::vector<std::string>& names) {
  const std::string nearest = Suggestion::Nearest(word, names);
  return std::string("unknown ") + what + " '" + word + "'" +
         (nearest.empty() ? std::string() : "; did you mean '" + nearest + "'?");
}

// Before the command come only the tool's own options: the first word that
// is not one of them must be a command. Names what is wrong, as a usage
// error, before the parser would say only that a command is required.
void CheckCommandWord(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") return;
    if (arg == "--codepage") {
      ++i;
    } else if (arg.rfind("--codepage=", 0) == 0) {
      continue;
    } else if (IsOption(arg)) {
      if (std::find(kToolOptions.begin(), kToolOptions.end(), arg) != kToolOptions.end()) return;
      throw ToolError(ToolError::kUsage,
                      Unknown("option", arg, kToolOptions) + " (tvd --help shows the usage)");
    } else {
      if (std::find(kCommands.begin(), kCommands.end(), arg) != kCommands.end()) return;
      throw ToolError(ToolError::kUsage,
                      Unknown("command", arg, kCommands) + " (tvd --help lists the commands)");
    }
  }
  throw ToolError(ToolError::kUsage,
                  "a command is required: dump, import, get, set, convert, new, check or help "
                  "(tvd --help shows the usage)");
}

// The long and short option names of a command and of the tool.
std::vector<std::string> OptionNames(const CLI::App* command) {
  std::vector<std::string> names = kToolOptions;
  if (!command) return names;
  for (const CLI::Option* option : command->get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

int ReportParseError(CLI::App& app, const CLI::ParseError& e, const Literals& literals) {
  if (e.get_exit_code() == 0) {  // --help
    std::ostringstream out, err;
    const int code = app.exit(e, out, err);
    Console::Out(out.str());
    Console::Err(err.str());
    return code;
  }
  // --codepage belongs to the tool, not to a command: its own help says
  // what it takes.
  std::string what = literals.Restore(e.what());
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    for (const std::string& extra : app.remaining(true))
      if (IsOption(extra) && !std::isdigit(static_cast<unsigned char>(extra[1])) &&
          extra[1] != '.') {
        const std::string name = extra.substr(0, extra.find('='));
        what = Unknown("option", name, OptionNames(chosen.empty() ? nullptr : chosen.back()));
        break;
      }
  }
  const std::string help = chosen.empty() || what.find("--codepage") != std::string::npos
                               ? "tvd --help"
                               : "tvd " + chosen.back()->get_name() + " --help";
  Console::Err("tvd: " + what + " (" + help + " shows the usage)\n");
  return ToolError::kUsage;
}

int RunCommand(const std::vector<std::string>& args) {
  CLI::App app("Reads and changes Vellisto virtual documents (.tvd files).", "tvd");
  app.require_subcommand(1);
  app.fallthrough();
  app.allow_windows_style_options(false);  // "/name" is a path, not an option
  app.footer(
      "--codepage N: the Windows code page of the 8-bit text in older files\n"
      "(format versions 0 and 1), a single-byte one such as 1250, 1251 or 1252.\n"
      "Without it, or with 0: the system's ANSI code page on Windows, 1252\n"
      "elsewhere.\n\n"
      "'--' before an argument that starts with '-' takes it as a value, not an\n"
      "option; options may still follow (tvd set F B P -- -5 --type i4).\n\n"
      "'-' as a FILE names standard input (dump, get, check), as -o standard\n"
      "output (import, convert).\n\n"
      "Exit status: 0 done, 1 a problem with a file, 2 a usage error, 3 'tvd get'\n"
      "found nothing that matches in a file that reads well.\n"
      "'tvd help COMMAND' or 'tvd COMMAND --help' describes each command.");
  app.set_version_flag("-V,--version", "tvd " VELLISTO_VERSION);
  unsigned codePage = 0;
  CLI::Option* codePageOption =
      app.add_option("--codepage", codePage,
                     "Code page of the 8-bit text in older files (see below)")
          ->type_name("N");

  std::string file, block, pattern, value, type, output, topic;
  bool asJson = false, force = false;

  CLI::App* dump = app.add_subcommand(
      "dump", "Show the header generation, the format version and every block and attribute.");
  dump->add_option("FILE", file, "A .tvd file, or - for standard input")->required();
  dump->add_flag("--json", asJson, "Write JSON that 'tvd import' turns back into the file");
  dump->footer(kJsonHelp);

  CLI::App* import = app.add_subcommand(
      "import", "Write a .tvd file (format version 2) from the JSON of 'tvd dump --json'.");
  import->add_option("JSON", file, "The JSON file, or - for standard input")->required();
  CLI::Option* importOutput =
      import
          ->add_option("-o,--output", output,
                       "The .tvd file to write (replaced when it exists), or - for standard output")
          ->required();
  import->footer("The JSON is described in 'tvd dump --help'. Keys other than those are ignored.");

  CLI::App* get = app.add_subcommand("get", "Print the value of one attribute.");
  get->add_option("FILE", file, "A .tvd file, or - for standard input")->required();
  get->add_option("BLOCK", block, "The block's name")->required();
  get->add_option("PATTERN", pattern, "The attribute's name or pattern")->required();
  get->footer(std::string(kPatternHelp) +
              "\n\nExit status 3 when the file reads well but holds no such block or\n"
              "attribute; 1 stays a problem with the file.");

  CLI::App* set = app.add_subcommand("set", "Store the value of one attribute and save the file.");
  set->add_option("FILE", file, "A .tvd file")->required();
  set->add_option("BLOCK", block, "The block's name")->required();
  set->add_option("PATTERN", pattern, "The attribute's name or pattern")->required();
  set->add_option("VALUE", value, "The new value")->required();
  set->add_option("--type", type,
                  "i4, r8, date or text (default: the type of the attribute replaced, text "
                  "for a new one)")
      ->type_name("TYPE");
  set->footer(std::string(kSetHelp) + "\n\n" + kPatternHelp);

  VaultCommands::Options batch;
  const auto addBatchOptions = [&batch](CLI::App* command, const char* what) {
    command->add_flag("-r,--recursive", batch.recursive,
                      std::string("Walk the folders named for .tvd files (any case) to ") + what);
    command->add_flag("--follow", batch.follow,
                      "Follow symbolic links found in the walk (not one back to a folder above)");
    command->add_option("-j,--jobs", batch.jobs, "Files worked on at once (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(size_t{1}, size_t{1024}));
    command->add_flag("--json", batch.json, "Report in JSON Lines: one object per file");
    command->add_flag("-q,--quiet", batch.quiet, "Report only the files that fail");
  };

  CLI::App* convert =
      app.add_subcommand("convert", "Rewrite files in the newest generation (format version 2).");
  convert->add_option("FILE", batch.paths, "A .tvd file, or with -r a folder; several may be given")
      ->required();
  CLI::Option* convertOutput =
      convert->add_option("-o,--output", output,
                          "Write here instead of replacing FILE (one FILE); - for standard output");
  addBatchOptions(convert, "convert");
  convert->add_flag("--dry-run", batch.dryRun, "Report what would be converted; write nothing");
  convert->footer(std::string(kConvertHelp) + "\n" + kTreeHelp);

  CLI::App* create = app.add_subcommand("new", "Write an empty document (38 bytes).");
  create->add_option("FILE", file, "The .tvd file to create")->required();
  create->add_flag("--force", force, "Replace FILE when it exists");

  CLI::App* check = app.add_subcommand(
      "check", "Read each file and print one line: ok, cannot open, or where the format breaks.");
  check
      ->add_option("FILE", batch.paths,
                   "One or more .tvd files, or with -r folders; - for standard input")
      ->required();
  addBatchOptions(check, "check");
  check->footer(std::string(kCheckHelp) + "\n" + kTreeHelp);

  CLI::App* help = app.add_subcommand("help", "Describe the tool, or one command.");
  help->add_option("COMMAND", topic, "The command to describe");

  try {
    CheckCommandWord(args);
  } catch (const ToolError& e) {
    Console::Err(std::string("tvd: ") + e.what() + "\n");
    return e.exitCode();
  }

  Literals literals;
  const std::vector<std::string> parsed = literals.StandIn(args);
  std::vector<const char*> argv;
  for (const std::string& a : parsed) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    return ReportParseError(app, e, literals);
  }
  for (std::string* text : {&file, &block, &pattern, &value, &type, &output})
    *text = literals.Restore(*text);
  for (std::string& f : batch.paths) f = literals.Restore(f);

  try {
    if (codePageOption->count() && !SetAnsiCodePage(codePage))
      throw ToolError(ToolError::kUsage,
                      "code page " + std::to_string(codePage) +
                          " cannot decode 8-bit text here: choose a single-byte Windows code "
                          "page such as 1250, 1251 or 1252 (tvd --help describes --codepage)");
    // An empty name is no file: an unset variable in a script must not
    // turn "write there" into "replace the input".
    if ((importOutput->count() || convertOutput->count()) && output.empty())
      throw ToolError(ToolError::kUsage, "-o needs a file name");
    if (!type.empty() && type != "i4" && type != "r8" && type != "date" && type != "text")
      throw ToolError(ToolError::kUsage,
                      "--type " + type + " is not a type: use i4, r8, date or text");
    if (help->parsed()) {
      if (topic.empty()) return RunCommand({args[0], "--help"});
      if (std::find(kCommands.begin(), kCommands.end(), topic) == kCommands.end())
        throw ToolError(ToolError::kUsage,
                        Unknown("command", topic, kCommands) + " (tvd --help lists the commands)");
      return RunCommand({args[0], topic, "--help"});
    }
    if (dump->parsed()) return Commands::Dump(file, asJson);
    if (import->parsed()) return Commands::Import(file, output);
    if (get->parsed()) return Commands::Get(file, block, pattern);
    if (set->parsed()) return Commands::Set(file, block, pattern, value, type);
    if (convert->parsed()) {
      const bool plain = batch.paths.size() == 1 && !batch.recursive && !batch.json &&
                         !batch.quiet && !batch.dryRun && batch.jobs == 0;
      if (convertOutput->count() && !plain)
        throw ToolError(ToolError::kUsage,
                        "-o takes one FILE, without -r, --json, -q, -j or --dry-run");
      if (convertOutput->count()) return Commands::Convert(batch.paths[0], output);
      if (!plain || VaultCommands::IsFolder(batch.paths[0])) return VaultCommands::Convert(batch);
      return Commands::Convert(batch.paths[0], "");
    }
    if (create->parsed()) return Commands::New(file, force);
    if (check->parsed()) {
      if (batch.paths == std::vector<std::string>{"-"}) return Commands::CheckStandardInput();
      batch.paths = Wildcards::Expand(batch.paths);
      return VaultCommands::Check(batch);
    }
    return ToolError::kUsage;
  } catch (const ToolError&) {
    throw;  // TvdApp::Run reports it
  } catch (const std::bad_alloc&) {
    Console::Err("tvd: out of memory\n");
    return ToolError::kFileProblem;
  } catch (const std::exception& e) {
    Console::Err(std::string("tvd: ") + e.what() + "\n");
    return ToolError::kFileProblem;
  }
}

}  // namespace

int TvdApp::Run(const std::vector<std::string>& args) {
  // A command whose output did not all arrive has failed, whatever it found.
  try {
    const int code = RunCommand(args);
    Console::CloseOut();
    return code;
  } catch (const ToolError& e) {
    Console::Err(std::string("tvd: ") + e.what() + "\n");
    return e.exitCode();
  }
}
