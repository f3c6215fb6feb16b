// Identifiers of the string table (support/StringTable.cpp): every text the program shows.
//
// Ranges:
//   128, 57344-59393   framework texts: template string, title, idle prompt, indicators,
//                      and the "prompt\ntip" texts of the commands (id = command id;
//                      a text without "\n" serves as prompt and tip alike)
//   32771-32775        the program's own commands, same "prompt\ntip" form
//   61204-61270        fixed ids of the program's messages and labels
//   61300-61349        our own: messages of failed library calls ("Chyba vrácená TTI ...")
//   61350-61399        our own: other messages and captions
//   61400-61449        our own: pieces of the stamp details texts
//   61450-61499        our own: texts of the verification dialog
//   61500-61549        our own: menu texts ("&" marks the access key, "\t" the shortcut)
//   61550-61599        our own: file-dialog filter patterns
//   61600-61619        our own: the stamped-files list written at once (its failures)
//   61620-61639        our own: sources that cannot be hashed, texts cut to their field
//   61650-61699        our own: the application shell
//   61700-61749        our own: the Qt front end's buttons and connection prompts
//   61750-61799        our own: the command-line client (help, usage errors, reports)
//   61800-61849        our own: the trust verdict of a stamp's signer
//   61850-61899        our own: EU trusted lists and the qualified verdict
//   61900-61919        our own: the state of a listed stamp against its source file
//   61920-61939        our own: checking every listed stamp in the window (61920 is also
//                      the id of its command)
//   61950-61979        our own: redirects and replies the transport refuses, logins on
//                      the command line, failed prints and starts of the window
//   61980-61999        our own: trust and the trusted lists in the window and on the
//                      command line (61980 is also the id of the lists' update command)
//   62000 + status     HTTP status texts
//   63000 + (code - 12000)  texts of the internet error codes 12000-12174
#pragma once

#include <cstdint>
#include <span>

// Template string of the single-document template: title, no document name or filter.
inline constexpr uint32_t IDR_MAINFRAME = 128;

inline constexpr uint32_t IDS_APP_TITLE = 57344;   // "MIVO klient": title and box caption
inline constexpr uint32_t IDS_IDLEMESSAGE = 57345; // status bar text when idle

// Commands (string = status-bar prompt, "\n", tool tip).
inline constexpr uint32_t ID_SETTINGS = 32771;
inline constexpr uint32_t ID_DELETE_FROM_LIST = 32772;
inline constexpr uint32_t ID_VERIFY = 32773;
inline constexpr uint32_t ID_VIEW_STAMP_LIST = 32774;
inline constexpr uint32_t ID_HELP_CONTENTS = 32775;
inline constexpr uint32_t ID_FILE_NEW = 57600;
inline constexpr uint32_t ID_FILE_OPEN = 57601;
inline constexpr uint32_t ID_FILE_PRINT = 57607;        // print with the print dialog
inline constexpr uint32_t ID_FILE_PRINT_DIRECT = 57608; // print without a dialog (toolbar)
inline constexpr uint32_t ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr uint32_t ID_APP_ABOUT = 57664;
inline constexpr uint32_t ID_APP_EXIT = 57665;
inline constexpr uint32_t ID_INDICATOR_CAPS = 59137;
inline constexpr uint32_t ID_INDICATOR_NUM = 59138;
inline constexpr uint32_t ID_INDICATOR_SCRL = 59139;
inline constexpr uint32_t ID_VIEW_TOOLBAR = 59392;
inline constexpr uint32_t ID_VIEW_STATUS_BAR = 59393;

// Fixed ids of the program's texts.
inline constexpr uint32_t IDS_STAMP_LIST_TITLE = 61204;    // title of the list panel
inline constexpr uint32_t IDS_COLUMN_STAMP_FILE = 61205;   // list column 0
inline constexpr uint32_t IDS_COLUMN_UTC_TIME = 61206;     // list column 1
inline constexpr uint32_t IDS_FILTER_STAMP_FILES = 61207;  // filter name for *.tsr;*.tst
inline constexpr uint32_t IDS_OPEN_STAMP_TITLE = 61208;    // title of the open-stamp dialog
inline constexpr uint32_t IDS_CONFIRM_DELETE = 61209;      // question before removing a row
inline constexpr uint32_t IDS_FILTER_ALL_FILES = 61211;    // filter name for *.*
inline constexpr uint32_t IDS_SELECT_SOURCE_TITLE = 61212; // title of the source-file dialog
inline constexpr uint32_t IDS_DIGEST_MISMATCH = 61215;     // RESULT_E_DIGEST_MISMATCH
inline constexpr uint32_t IDS_FILE_READ_ERROR = 61216;     // RESULT_E_READ_FILE, "%s" = path
inline constexpr uint32_t IDS_HASH_INIT_ERROR = 61217;     // RESULT_E_HASH_INIT
inline constexpr uint32_t IDS_HASH_NOT_SUPPORTED = 61218;  // RESULT_E_HASH_UNSUPPORTED
inline constexpr uint32_t IDS_SOURCE_READ_ERROR = 61219;   // RESULT_E_READ_SOURCE, "%s" = path

// Texts of the library's result codes: id = IDS_TTI_ERROR_BASE - code for 0 to -17.
inline constexpr uint32_t IDS_TTI_ERROR_BASE = 61250;
inline constexpr uint32_t IDS_TTI_OK = 61250;
inline constexpr uint32_t IDS_TTI_INVALID_PARAMETER = 61251;
inline constexpr uint32_t IDS_TTI_MEMORY = 61252;
inline constexpr uint32_t IDS_TTI_BUFFER_TOO_SMALL = 61253;
inline constexpr uint32_t IDS_TTI_INTERNAL_BUFFER = 61254;
inline constexpr uint32_t IDS_TTI_ASN_UNEXPECTED = 61255;
inline constexpr uint32_t IDS_TTI_ASN_FORMAT = 61256;
inline constexpr uint32_t IDS_TTI_INVALID_TOKEN = 61257;
inline constexpr uint32_t IDS_TTI_SIGNATURE = 61258;
inline constexpr uint32_t IDS_TTI_NOT_GRANTED = 61259;
inline constexpr uint32_t IDS_TTI_NO_TOKEN = 61260;
inline constexpr uint32_t IDS_TTI_LENGTH = 61261;
inline constexpr uint32_t IDS_TTI_TCP_HEADER = 61262;
inline constexpr uint32_t IDS_TTI_NOT_SUPPORTED = 61263;
inline constexpr uint32_t IDS_TTI_NO_SIGNER_CERT = 61264;
inline constexpr uint32_t IDS_TTI_NO_TAC = 61265;
inline constexpr uint32_t IDS_TTI_TAC_IMPRINT = 61266;
inline constexpr uint32_t IDS_TTI_TAC_NO_POLICY = 61267;
inline constexpr uint32_t IDS_TTI_UNKNOWN = 61268; // any other code

inline constexpr uint32_t IDS_STAMP_ERROR = 61270; // RESULT_E_STAMP

// Messages of failed library calls; each starts "Chyba vrácená TTI knihovnou\n\n".
inline constexpr uint32_t IDS_TTI_ENCODE_FAILED = 61300;      // %s = library text
inline constexpr uint32_t IDS_TTI_REPLY_ERROR_TEXT = 61301;   // %s = the TSA's error text
inline constexpr uint32_t IDS_TTI_UNEXPECTED_MESSAGE = 61302; // %d = message type
inline constexpr uint32_t IDS_TTI_REPLY_LENGTH = 61303;       // %u received, %u expected
inline constexpr uint32_t IDS_TTI_GET_STATUS_FAILED = 61304;  // %s library text, %s reply
inline constexpr uint32_t IDS_TTI_NOT_GRANTED_STATUS = 61305; // %d status, %d info, %s text
inline constexpr uint32_t IDS_TTI_GET_TOKEN_FAILED = 61306;
inline constexpr uint32_t IDS_TTI_GET_TSTINFO_FAILED = 61307;
inline constexpr uint32_t IDS_TTI_IMPRINT_MISMATCH = 61308;
inline constexpr uint32_t IDS_TTI_POLICY_MISMATCH = 61309;
inline constexpr uint32_t IDS_TTI_NONCE_MISMATCH = 61310;
inline constexpr uint32_t IDS_TTI_TIME_SKEW = 61311; // more than five minutes apart
inline constexpr uint32_t IDS_TTI_GET_TAC_FAILED = 61312;
inline constexpr uint32_t IDS_TTI_TIMING_METRICS_FAILED = 61313;
inline constexpr uint32_t IDS_TTI_TIMING_POLICY_FAILED = 61314;
inline constexpr uint32_t IDS_TTI_CERT_INFO_FAILED = 61315;
inline constexpr uint32_t IDS_TTI_VERIFY_SIGNATURE_FAILED = 61316;
inline constexpr uint32_t IDS_TTI_GET_TSA_CERT_FAILED = 61317;

// Other messages and captions.
inline constexpr uint32_t IDS_CONNECT_ERROR = 61350; // ends in a blank; the transport adds
inline constexpr uint32_t IDS_WRONG_CONTENT_TYPE = 61351;
inline constexpr uint32_t IDS_SET_PARAMETERS = 61352;        // new stamp without URL or policy
inline constexpr uint32_t IDS_CANNOT_CREATE_FILE = 61353;    // %s = path
inline constexpr uint32_t IDS_WRITE_ERROR = 61354;           // %s = path
inline constexpr uint32_t IDS_SHORT_WRITE = 61355;           // %s path, %d to write, %u written
inline constexpr uint32_t IDS_STAMP_FILE_READ_ERROR = 61356; // %s = path, in quotes
inline constexpr uint32_t IDS_VERIFY_RESULT_CAPTION = 61357;
inline constexpr uint32_t IDS_STAMP_OK = 61358;

// Pieces of the stamp details texts.
inline constexpr uint32_t IDS_NO_TAC_FOUND = 61400;
inline constexpr uint32_t IDS_INVALID_DATA = 61401;        // unknown hash algorithm
inline constexpr uint32_t IDS_UNIT_SECONDS = 61402;        // " s"
inline constexpr uint32_t IDS_UNIT_MILLISECONDS = 61403;   // " ms"
inline constexpr uint32_t IDS_UNIT_MICROSECONDS = 61404;   // " µs"
inline constexpr uint32_t IDS_ACCURACY_UNEXPECTED = 61405; // more than one accuracy part
inline constexpr uint32_t IDS_ACCURACY_UNKNOWN = 61406;    // no accuracy

// The verification dialog.
inline constexpr uint32_t IDS_VERIFY_DIALOG_CAPTION = 61450;
inline constexpr uint32_t IDS_VERIFY_DIALOG_OK = 61451;
inline constexpr uint32_t IDS_VERIFY_DIALOG_CANCEL = 61452;
inline constexpr uint32_t IDS_VERIFY_DIALOG_STAMP_GROUP = 61453;
inline constexpr uint32_t IDS_VERIFY_DIALOG_SOURCE_GROUP = 61454;
inline constexpr uint32_t IDS_VERIFY_DIALOG_BROWSE = 61455;
inline constexpr uint32_t IDS_VERIFY_DIALOG_ADD_TO_LIST = 61456;

// Menu texts.
inline constexpr uint32_t IDS_MENU_STAMP = 61500;
inline constexpr uint32_t IDS_MENU_NEW = 61501;
inline constexpr uint32_t IDS_MENU_OPEN = 61502;
inline constexpr uint32_t IDS_MENU_VERIFY = 61503;
inline constexpr uint32_t IDS_MENU_DELETE = 61504;
inline constexpr uint32_t IDS_MENU_PRINT = 61505;
inline constexpr uint32_t IDS_MENU_PRINT_PREVIEW = 61506;
inline constexpr uint32_t IDS_MENU_EXIT = 61507;
inline constexpr uint32_t IDS_MENU_VIEW = 61508;
inline constexpr uint32_t IDS_MENU_TOOLBAR = 61509;
inline constexpr uint32_t IDS_MENU_STATUS_BAR = 61510;
inline constexpr uint32_t IDS_MENU_STAMP_LIST = 61511;
inline constexpr uint32_t IDS_MENU_TOOLS = 61512;
inline constexpr uint32_t IDS_MENU_SETTINGS = 61513;
inline constexpr uint32_t IDS_MENU_HELP = 61514;
inline constexpr uint32_t IDS_MENU_HELP_CONTENTS = 61515;
inline constexpr uint32_t IDS_MENU_ABOUT = 61516;

// File-dialog filter patterns.
inline constexpr uint32_t IDS_FILTER_STAMP_FILES_PATTERN = 61550; // "*.tsr;*.tst"
inline constexpr uint32_t IDS_FILTER_ALL_FILES_PATTERN = 61551;   // "*.*"

// The stamped-files list written at once: the button that tries a failed write again, and
// the question before a window closes with changes of the list not written.
inline constexpr uint32_t IDS_BUTTON_RETRY = 61600;
inline constexpr uint32_t IDS_LIST_DISCARD_QUESTION = 61601; // %s = INI path
// Sources that cannot be hashed ("%s" = the path).
inline constexpr uint32_t IDS_SOURCE_NOT_REGULAR = 61620; // RESULT_E_NOT_REGULAR_FILE
inline constexpr uint32_t IDS_SOURCE_CHANGED = 61621;     // RESULT_E_SOURCE_CHANGED

// The application shell.
inline constexpr uint32_t IDS_HELP_PAGE = 61650; // "napoveda.html", the help beside the program

// Buttons of the message boxes and prompts; the connection prompts.
inline constexpr uint32_t IDS_BUTTON_YES = 61700;
inline constexpr uint32_t IDS_BUTTON_NO = 61701;
inline constexpr uint32_t IDS_BUTTON_OK = 61702;
inline constexpr uint32_t IDS_BUTTON_CANCEL = 61703;
inline constexpr uint32_t IDS_CERT_PROBLEM_CAPTION = 61710;
inline constexpr uint32_t IDS_CERT_PROBLEM_INTRO = 61711; // %s = server
inline constexpr uint32_t IDS_CERT_PROBLEM_QUESTION = 61712;
inline constexpr uint32_t IDS_CRED_SERVER_CAPTION = 61720;
inline constexpr uint32_t IDS_CRED_PROXY_CAPTION = 61721;
inline constexpr uint32_t IDS_CRED_SERVER_INTRO = 61722; // %s = server
inline constexpr uint32_t IDS_CRED_PROXY_INTRO = 61723;  // %s = proxy
inline constexpr uint32_t IDS_CRED_REALM = 61724;        // %s = realm
inline constexpr uint32_t IDS_CRED_USER = 61725;
inline constexpr uint32_t IDS_CRED_PASSWORD = 61726;

// The command-line client: help texts, the values of its options, usage errors, reports.
inline constexpr uint32_t IDS_CLI_HELP_INTRO = 61750;
inline constexpr uint32_t IDS_CLI_HELP_SETTINGS = 61751;
inline constexpr uint32_t IDS_CLI_HELP_EXIT_CODES = 61752;
inline constexpr uint32_t IDS_CLI_EXIT_OK = 61753;
inline constexpr uint32_t IDS_CLI_EXIT_FAILED = 61754;
inline constexpr uint32_t IDS_CLI_EXIT_USAGE = 61755;
// A command's help: its plain arguments on the first line, then the description.
inline constexpr uint32_t IDS_CLI_HELP_DIGEST = 61756;
inline constexpr uint32_t IDS_CLI_HELP_DECODE = 61757;
inline constexpr uint32_t IDS_CLI_HELP_STAMP = 61758;
inline constexpr uint32_t IDS_CLI_HELP_VERIFY = 61759;
inline constexpr uint32_t IDS_CLI_HELP_SHOW = 61760;
inline constexpr uint32_t IDS_CLI_HELP_LIST = 61761;
inline constexpr uint32_t IDS_CLI_HELP_ADD = 61762;
inline constexpr uint32_t IDS_CLI_HELP_REMOVE = 61763;
inline constexpr uint32_t IDS_CLI_HELP_REQUEST = 61764;
inline constexpr uint32_t IDS_CLI_HELP_POST = 61765;
inline constexpr uint32_t IDS_CLI_HELP_HELP = 61766;
inline constexpr uint32_t IDS_CLI_USAGE_ERROR = 61767; // %s = what was wrong
inline constexpr uint32_t IDS_CLI_NO_COMMAND = 61768;
inline constexpr uint32_t IDS_CLI_UNKNOWN_COMMAND = 61769;     // %s = command
inline constexpr uint32_t IDS_CLI_UNKNOWN_OPTION = 61770;      // %s = argument
inline constexpr uint32_t IDS_CLI_UNEXPECTED_ARGUMENT = 61771; // %s = argument
inline constexpr uint32_t IDS_CLI_OPTION_NEEDS_VALUE = 61772;  // %s option, %s what value
inline constexpr uint32_t IDS_CLI_OPTION_MISSING = 61773;      // %s option, %s placeholder
// An option's value: placeholder, "\n", what the value is.
inline constexpr uint32_t IDS_CLI_VALUE_INI = 61774;
inline constexpr uint32_t IDS_CLI_VALUE_HASH = 61775;
inline constexpr uint32_t IDS_CLI_VALUE_POLICY = 61776;
inline constexpr uint32_t IDS_CLI_VALUE_URL = 61777;
inline constexpr uint32_t IDS_CLI_VALUE_REQUEST_OUT = 61778;
inline constexpr uint32_t IDS_CLI_VALUE_REPLY_OUT = 61779;
inline constexpr uint32_t IDS_CLI_BAD_HASH_CODE = 61780; // %s = the value given
inline constexpr uint32_t IDS_CLI_NEEDS_FILES = 61781;   // %s = command
inline constexpr uint32_t IDS_CLI_NEEDS_STAMP = 61782;   // %s = command
inline constexpr uint32_t IDS_CLI_NO_ARGUMENTS = 61783;  // %s = command
inline constexpr uint32_t IDS_CLI_NEEDS_NUMBER = 61784;  // %s = command
inline constexpr uint32_t IDS_CLI_BAD_NUMBER = 61785;    // %s = the value given
inline constexpr uint32_t IDS_CLI_CANNOT_GUESS_SOURCE = 61786;
inline constexpr uint32_t IDS_CLI_NO_SUCH_ENTRY = 61787; // %d entry, %d entries listed
inline constexpr uint32_t IDS_CLI_REMOVED = 61788;       // %s = stamp path
inline constexpr uint32_t IDS_CLI_STAMPED_COUNT = 61789; // %zu stamped, %zu files
inline constexpr uint32_t IDS_CLI_HASH_PROGRESS = 61790; // %s file, %d percent
inline constexpr uint32_t IDS_CLI_NO_FILE = 61791;
inline constexpr uint32_t IDS_CLI_NO_REQUEST_FILE = 61792;
inline constexpr uint32_t IDS_CLI_NEEDS_ONE_STAMP = 61793; // %s = command
inline constexpr uint32_t IDS_CLI_NEEDS_TERMINAL = 61794;  // %s command, %s the yes option
inline constexpr uint32_t IDS_CLI_ANSWER_HINT = 61795;     // after a question on the terminal
inline constexpr uint32_t IDS_CLI_NOT_REMOVED = 61796;

// The trust verdict of a stamp's signer (core/TrustVerdict.h).
inline constexpr uint32_t IDS_TRUST_TRUSTED = 61800; // %s = the anchor's subject
inline constexpr uint32_t IDS_TRUST_UNTRUSTED = 61801;
inline constexpr uint32_t IDS_TRUST_EXPIRED = 61802;
inline constexpr uint32_t IDS_TRUST_NOT_YET_VALID = 61803;
inline constexpr uint32_t IDS_TRUST_WRONG_USAGE = 61804;
inline constexpr uint32_t IDS_TRUST_SIGNER_MISMATCH = 61805;
inline constexpr uint32_t IDS_TRUST_TSA_NAME_MISMATCH = 61806;
inline constexpr uint32_t IDS_TRUST_WEAK_ALGORITHM = 61807;
inline constexpr uint32_t IDS_TRUST_REVOKED = 61808; // %s = the revocation date
inline constexpr uint32_t IDS_TRUST_REVOCATION_UNKNOWN = 61809;
inline constexpr uint32_t IDS_TRUST_TAC_NOT_VERIFIED = 61810;
// EU trusted lists: the qualified verdict of a stamp (%s service, provider, territory, ...).
inline constexpr uint32_t IDS_TL_QUALIFIED = 61850;             // service, provider, territory
inline constexpr uint32_t IDS_TL_QUALIFIED_BEFORE_2016 = 61851; // ... and the status
inline constexpr uint32_t IDS_TL_NOT_QUALIFIED_STATUS = 61852;  // ... type, status
inline constexpr uint32_t IDS_TL_NOT_QUALIFIED_NOT_TSA =
    61853; // territory, service, provider, type
inline constexpr uint32_t IDS_TL_NOT_QUALIFIED_NOT_YET = 61854; // service, provider, territory
inline constexpr uint32_t IDS_TL_NOT_LISTED = 61855;
inline constexpr uint32_t IDS_TL_QUALIFIED_UNKNOWN = 61856; // territory
inline constexpr uint32_t IDS_TL_OUTDATED_NOTE = 61857;     // territory, date; starts with a blank
inline constexpr uint32_t IDS_TL_ANCHOR_NAME = 61858;       // service, provider, territory
// Lists refused or not obtained (%s the list's name, then where it came from).
inline constexpr uint32_t IDS_TL_LIST_NAME = 61860; // territory
inline constexpr uint32_t IDS_TL_LOTL_NAME = 61861;
inline constexpr uint32_t IDS_TL_REFUSED_UNREADABLE = 61862;     // name, origin, detail
inline constexpr uint32_t IDS_TL_REFUSED_SIGNATURE = 61863;      // name, origin, detail
inline constexpr uint32_t IDS_TL_LOTL_REFUSED_SIGNATURE = 61864; // origin, detail
inline constexpr uint32_t IDS_TL_REFUSED_TERRITORY = 61865;      // name, origin, territory found
inline constexpr uint32_t IDS_TL_REFUSED_TYPE = 61866;           // name, origin, type found
inline constexpr uint32_t IDS_TL_REFUSED_OLDER = 61867;   // name, origin, number, cached number
inline constexpr uint32_t IDS_TL_NO_PINS = 61868;         // folders
inline constexpr uint32_t IDS_TL_DOWNLOAD_FAILED = 61869; // name, URL; the error follows
inline constexpr uint32_t IDS_TL_DOWNLOAD_STATUS = 61870; // name, URL, status
inline constexpr uint32_t IDS_TL_NOT_IN_FOLDER = 61871;   // name, folder
inline constexpr uint32_t IDS_TL_NOT_IN_LOTL = 61872;     // territory
inline constexpr uint32_t IDS_TL_STORE_FAILED = 61873;    // name, folder, detail
inline constexpr uint32_t IDS_TL_CANCELLED = 61874;
// Progress, summary and status of the stored lists.
inline constexpr uint32_t IDS_TL_RESULT_UPDATED = 61876;   // name, number, issue date
inline constexpr uint32_t IDS_TL_RESULT_UNCHANGED = 61877; // name, number
inline constexpr uint32_t IDS_TL_RESULT_REMOVED = 61878;   // territory
inline constexpr uint32_t IDS_TL_SUMMARY = 61879;          // updated, unchanged, failed, missing
inline constexpr uint32_t IDS_TL_STATUS_LINE =
    61880; // name, number, issued, next, signature, state
inline constexpr uint32_t IDS_TL_STATUS_SIGNED_BY = 61881; // date, signer
inline constexpr uint32_t IDS_TL_STATUS_CHANGED = 61882;
inline constexpr uint32_t IDS_TL_STATUS_OUTDATED = 61883;
inline constexpr uint32_t IDS_TL_STATUS_CURRENT = 61884;
inline constexpr uint32_t IDS_TL_STATUS_EMPTY = 61885;  // folder
inline constexpr uint32_t IDS_TL_STATUS_BROKEN = 61886; // territory, detail
inline constexpr uint32_t IDS_TL_STATUS_NO_NEXT = 61887;
// Czech names of the service statuses of the lists (the URI's last part in the comment).
inline constexpr uint32_t IDS_TL_SERVICE_GRANTED = 61888;               // granted
inline constexpr uint32_t IDS_TL_SERVICE_WITHDRAWN = 61889;             // withdrawn
inline constexpr uint32_t IDS_TL_SERVICE_ACCREDITED = 61890;            // accredited
inline constexpr uint32_t IDS_TL_SERVICE_UNDER_SUPERVISION = 61891;     // undersupervision
inline constexpr uint32_t IDS_TL_SERVICE_SUPERVISION_ENDING = 61892;    // supervisionincessation
inline constexpr uint32_t IDS_TL_SERVICE_SUPERVISION_CEASED = 61893;    // supervisionceased
inline constexpr uint32_t IDS_TL_SERVICE_SUPERVISION_REVOKED = 61894;   // supervisionrevoked
inline constexpr uint32_t IDS_TL_SERVICE_ACCREDITATION_CEASED = 61895;  // accreditationceased
inline constexpr uint32_t IDS_TL_SERVICE_ACCREDITATION_REVOKED = 61896; // accreditationrevoked
inline constexpr uint32_t IDS_TL_SERVICE_RECOGNISED_NATIONALLY = 61897; // recognisedatnationallevel
inline constexpr uint32_t IDS_TL_SERVICE_DEPRECATED_NATIONALLY = 61898; // deprecatedatnationallevel
inline constexpr uint32_t IDS_TL_STATUS_HEADER = 61899;                 // folder

// The state of a listed stamp against its source file.
inline constexpr uint32_t IDS_ENTRY_STATUS_OK = 61900;
inline constexpr uint32_t IDS_ENTRY_STATUS_SOURCE_CHANGED = 61901;
inline constexpr uint32_t IDS_ENTRY_STATUS_SOURCE_MISSING = 61902;
inline constexpr uint32_t IDS_ENTRY_STATUS_STAMP_MISSING = 61903;
inline constexpr uint32_t IDS_ENTRY_STATUS_STAMP_INVALID = 61904;
// Long work behind a progress dialog, and many files stamped at once.
inline constexpr uint32_t IDS_PROGRESS_TITLE = 61905;
inline constexpr uint32_t IDS_PROGRESS_HASHING = 61906;    // file
inline constexpr uint32_t IDS_PROGRESS_WAITING = 61907;    // server
inline constexpr uint32_t IDS_BATCH_FILE = 61908;          // number, count, file
inline constexpr uint32_t IDS_BATCH_SUMMARY = 61909;       // stamped, count
inline constexpr uint32_t IDS_BATCH_FAILED_HEADER = 61910; //
inline constexpr uint32_t IDS_BATCH_FAILED_ITEM = 61911;   // file, reason
inline constexpr uint32_t IDS_BATCH_STOPPED = 61912;       // files left
inline constexpr uint32_t IDS_BATCH_STOPPING = 61913;      //
inline constexpr uint32_t IDS_FOLDER_QUESTION = 61914;     // count, folder
inline constexpr uint32_t IDS_FOLDER_EMPTY = 61915;        // folder
inline constexpr uint32_t IDS_BATCH_NO_REASON = 61916;     //

// Checking every listed stamp in the window.
inline constexpr uint32_t ID_CHECK_ALL = 61920; // command; its text is "prompt\ntip"
inline constexpr uint32_t IDS_MENU_CHECK_ALL = 61921;
inline constexpr uint32_t IDS_COLUMN_STATUS = 61922; // list column 2

// HTTP status texts: IDS_HTTP_STATUS_BASE + status (400-415, 500-505; not all have one).
inline constexpr uint32_t IDS_HTTP_STATUS_BASE = 62000;

// Internet error texts: IDS_INTERNET_ERROR_BASE + (code - 12000); not every code has one.
inline constexpr uint32_t IDS_INTERNET_ERROR_BASE = 63000;

// One entry of the string table.
struct StringTableRow {
    uint32_t id;
    const char* text;
};

// The whole table, sorted by id, each id once.
std::span<const StringTableRow> StringTableRows();

// The text of `id`; null when the table has no such entry.
const char* FindStringTableText(uint32_t id);

// Redirects not followed (the detail of the last error) and reply bodies not taken.
inline constexpr uint32_t IDS_REDIRECT_NEW_ADDRESS = 61950;   // address
inline constexpr uint32_t IDS_REDIRECT_TOO_MANY = 61951;      // address, limit
inline constexpr uint32_t IDS_REDIRECT_STATUS = 61952;        // address, status
inline constexpr uint32_t IDS_REDIRECT_UNUSABLE = 61953;      // address
inline constexpr uint32_t IDS_BODY_EMPTY = 61954;             //
inline constexpr uint32_t IDS_BODY_TOO_LONG = 61955;          // received, capacity, hex
inline constexpr uint32_t IDS_BODY_TOO_LONG_CUT = 61956;      // received, capacity, hex
inline constexpr uint32_t IDS_BODY_READ_FAILED = 61957;       // received, hex
inline constexpr uint32_t IDS_BODY_READ_FAILED_EMPTY = 61958; //
inline constexpr uint32_t IDS_REPLY_CHECK_FAILED = 61959;     // code text, length, hex
// Logins on the command line.
inline constexpr uint32_t IDS_CLI_VALUE_USER = 61960;
inline constexpr uint32_t IDS_CLI_ASK_USER = 61961;
inline constexpr uint32_t IDS_CLI_ASK_PASSWORD = 61962; // user
inline constexpr uint32_t IDS_CLI_NO_TERMINAL = 61963;
inline constexpr uint32_t IDS_CLI_HELP_LOGIN = 61964;
// The window.
inline constexpr uint32_t IDS_PRINT_FAILED = 61965;        // reason
inline constexpr uint32_t IDS_PRINT_NO_PRINTER = 61966;    //
inline constexpr uint32_t IDS_PRINT_NOT_PRINTED = 61967;   // printer
inline constexpr uint32_t IDS_VIEWER_START_FAILED = 61968; // file
inline constexpr uint32_t IDS_HELP_START_FAILED = 61969;   // help file
// Logins on the command line: who asks.
inline constexpr uint32_t IDS_CLI_LOGIN_SERVER = 61970; // host, " (realm)" or ""
inline constexpr uint32_t IDS_CLI_LOGIN_PROXY = 61971;  // host, " (realm)" or ""

// Trust and the trusted lists in the window and on the command line.
inline constexpr uint32_t ID_TL_UPDATE = 61980; // command; its text is "prompt\ntip"
inline constexpr uint32_t IDS_MENU_TL_UPDATE = 61981;
inline constexpr uint32_t IDS_TRUST_AUTHORITY_QUESTION = 61982; // subject, SHA-256
inline constexpr uint32_t IDS_TL_PROGRESS_TITLE = 61983;
inline constexpr uint32_t IDS_TL_PROGRESS_LABEL = 61984; // list name, %d of %d
inline constexpr uint32_t IDS_CLI_HELP_TRUST_ADD = 61985;
inline constexpr uint32_t IDS_CLI_HELP_TRUST_LIST = 61986;
inline constexpr uint32_t IDS_CLI_HELP_TRUST_REMOVE = 61987;
inline constexpr uint32_t IDS_CLI_HELP_TL_UPDATE = 61988;
inline constexpr uint32_t IDS_CLI_HELP_TL_IMPORT = 61989;
inline constexpr uint32_t IDS_CLI_HELP_TL_STATUS = 61990;
inline constexpr uint32_t IDS_CLI_VALUE_LOTL = 61991;
inline constexpr uint32_t IDS_CLI_VALUE_ONLY = 61992;
inline constexpr uint32_t IDS_CLI_TRUST_ADDED = 61993;     // subject, SHA-256, file
inline constexpr uint32_t IDS_CLI_TRUST_EMPTY = 61994;     // folder
inline constexpr uint32_t IDS_CLI_TRUST_REMOVE = 61995;    // subject: the question
inline constexpr uint32_t IDS_CLI_TRUST_REMOVED = 61996;   // subject
inline constexpr uint32_t IDS_CLI_BAD_TERRITORIES = 61997; // the value given
inline constexpr uint32_t IDS_CLI_NO_CERTIFICATE = 61998;  // file
inline constexpr uint32_t IDS_CLI_NEEDS_FOLDER = 61999;    // command
