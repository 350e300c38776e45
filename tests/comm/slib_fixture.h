#pragma once
// "SLIB:" in a folder of the test's own, with its QORreal subfolder, for as
// long as the fixture lives.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/comm/comm_fixture.h"

namespace zelmar::commtest {

class SlibFolderTest : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        ASSERT_TRUE(slib_.isValid());
        ASSERT_TRUE(QDir(slib_.path()).mkpath("QORreal"));
        qputenv("ZELMAR_SLIB_DIR", QFile::encodeName(slib_.path()));
    }
    void TearDown() override {
        qunsetenv("ZELMAR_SLIB_DIR");
        CommTest::TearDown();
    }

    QString slibFolder() const { return QDir(slib_.path()).absolutePath() + "/"; }

private:
    QTemporaryDir slib_;
};

}  // namespace zelmar::commtest
