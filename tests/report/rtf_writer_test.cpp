// The RTF writer, read back by LibreOffice: the text with its escapes and
// non-ASCII characters, the centred paragraphs and the coloured runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/report_output.h"
#include "report/rtf_writer.h"

namespace vdx::rtf {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Converts `rtf` with LibreOffice to the given filter; the converted file's text.
std::string Convert(const fs::path& dir, const fs::path& rtf, const std::string& filter, const std::string& ext) {
    const std::string command = "soffice -env:UserInstallation=file://" + (dir / "profile").string() +
                                " --headless --convert-to '" + filter + "' --outdir '" + dir.string() + "' '" +
                                rtf.string() + "' > '" + (dir / "soffice.log").string() + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "soffice failed: " + ReadAll(dir / "soffice.log");
    return ReadAll(fs::path(rtf).replace_extension(ext));
}

class RtfWriter : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v soffice > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "soffice (LibreOffice) is not installed: the RTF files cannot be read back";
        dir_ = fs::temp_directory_path() / ("vdx_rtf_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    fs::path dir_;
};

// Lines of a text file with CR LF or LF breaks, a byte-order mark dropped.
std::vector<std::string> Lines(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST_F(RtfWriter, LibreOfficeReadsTheTextBack) {
    const std::string text =
        "====\r\n Title \r\n====\r\n\r\nBack\\slash {braces} and tab\there\r\n"
        "Z\xC3\xBCrich 12 \xE2\x82\xAC, \xCE\xB1\xCE\xB2, \xF0\x9F\x98\x80 end\r\nlast line";
    const fs::path file = dir_ / "text.rtf";
    report::WriteReportFile(file.string(), report::ReportFileFormat::Rtf, {text, 10, {{36, 5, kBlue}}});
    EXPECT_EQ(Lines(Convert(dir_, file, "txt:Text (encoded):UTF8", ".txt")),
              (std::vector<std::string>{"====", " Title ", "====", "", "Back\\slash {braces} and tab\there",
                                        "Z\xC3\xBCrich 12 \xE2\x82\xAC, \xCE\xB1\xCE\xB2, \xF0\x9F\x98\x80 end",
                                        "last line"}));
}

// The CSS rule of the class of the innermost `tag` element around `text` in
// LibreOffice's XHTML ("" when there is none).
std::string StyleAround(const std::string& html, const std::string& text, const std::string& tag) {
    const size_t at = html.find(">" + text);
    if (at == std::string::npos) return "";
    const size_t open = html.rfind("<" + tag + " ", at);
    const size_t cls = html.find("class=\"", open);
    if (open == std::string::npos || cls == std::string::npos || cls > at) return "";
    const std::string name = html.substr(cls + 7, html.find('"', cls + 7) - cls - 7);
    const size_t rule = html.find("." + name + " {");
    return rule == std::string::npos ? "" : html.substr(rule, html.find('}', rule) - rule);
}

TEST_F(RtfWriter, CentredParagraphsAndColouredRunsSurviveTheReading) {
    const std::string text = "Heading\r\nSMR = 150.00000000\r\nplain";
    const fs::path file = dir_ / "styled.rtf";
    report::WriteReportFile(file.string(), report::ReportFileFormat::Rtf, {text, 5, {{text.find("150"), 12, kBlue}}});
    const std::string html = Convert(dir_, file, "html:XHTML Writer File:UTF8", ".html");
    EXPECT_NE(StyleAround(html, "Heading", "p").find("text-align:center"), std::string::npos) << html;
    EXPECT_EQ(StyleAround(html, "SMR = ", "p").find("center"), std::string::npos) << html;
    EXPECT_NE(StyleAround(html, "150.00000000", "span").find("color:#0000ff"), std::string::npos) << html;
    EXPECT_EQ(StyleAround(html, "SMR = ", "span").find("color:"), std::string::npos) << html;
    EXPECT_NE(StyleAround(html, "plain", "span").find("Courier New"), std::string::npos) << html;
}

}  // namespace
}  // namespace vdx::rtf
