#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/qt/qt_dialogs.h"
#include "tests/support/qt_application.h"

namespace tev::testing {
namespace {

// A PATH holding only a stand-in xdg-mime that answers the handler query with `answer`.
class DesktopHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApplication();
        savedPath_ = qgetenv("PATH");
        savedBrowser_ = qgetenv("BROWSER");
        qunsetenv("BROWSER");
    }
    void TearDown() override {
        qputenv("PATH", savedPath_);
        if (!savedBrowser_.isEmpty()) qputenv("BROWSER", savedBrowser_);
    }

    void useXdgMimeAnswering(const QByteArray& answer) {
        const QString script = bin_.filePath("xdg-mime");
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho \"$@\" >> \"" + bin_.filePath("queries").toUtf8() +
                   "\"\nprintf '" + answer + "'\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin_.path().toUtf8() + ":/bin:/usr/bin");
    }

    QByteArray queries() const {
        QFile file(bin_.filePath("queries"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir bin_;
    QByteArray savedPath_;
    QByteArray savedBrowser_;
};

TEST_F(DesktopHandlerTest, ManualIsReportedUnopenedWhenTheDesktopHasNoHtmlHandler) {
    useXdgMimeAnswering("");
    QtUrlOpener opener;
    EXPECT_FALSE(opener.open("file:///usr/share/tev3p/manual.html"));
    EXPECT_EQ(queries(), "query default text/html\n");
}

TEST_F(DesktopHandlerTest, WebAddressesAreLookedUpByTheirScheme) {
    useXdgMimeAnswering("");
    QtUrlOpener opener;
    EXPECT_FALSE(opener.open("https://example.invalid/"));
    EXPECT_EQ(queries(), "query default x-scheme-handler/https\n");
}

}  // namespace
}  // namespace tev::testing
