// GoogleTest main for tests of models that draw but hold no widget: one
// QGuiApplication for the run, headless, with the texts catalogues of this
// build (ZELMAR_TEST_DATA_DIR) and a language where the test wants one.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ZELMAR_TEST_DATA_DIR
    if (qEnvironmentVariableIsEmpty("ZELMAR_DATA_DIR"))
        qputenv("ZELMAR_DATA_DIR", ZELMAR_TEST_DATA_DIR);
#endif
#ifdef ZELMAR_TEST_LANG
    if (qEnvironmentVariableIsEmpty("ZELMAR_LANG"))
        qputenv("ZELMAR_LANG", ZELMAR_TEST_LANG);
#endif
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
