#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include "FakeEgl.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/wayland/DmaBufImporter.h"
#include "platform/wayland/PipeWireFormats.h"
#include "storage/Log.h"
#include "storage/Paths.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::DmaBufImporter;

namespace {

constexpr quint32 xrgb8888 = 0x34325258; // "XR24"

struct Planes
{
    DmaBufImporter::PlaneInts fds{ 11, 12, 13, 14 };
    DmaBufImporter::PlaneOffsets offsets{ 0, 100, 200, 300 };
    DmaBufImporter::PlaneStrides strides{ 256, 128, 128, 128 };
};

QImage importOne(DmaBufImporter &importer, quint64 modifier = 0x0100000000000002ULL, int planes = 1,
                 int width = 4, int height = 2)
{
    const Planes p;
    return importer.importToImage(xrgb8888, modifier, width, height, planes, p.fds, p.offsets,
                                  p.strides);
}

bool hasAttribute(EGLint name)
{
    const QList<EGLint> &attributes = FakeEgl::record().imageAttributes;
    for (qsizetype i = 0; i + 1 < attributes.size(); i += 2) {
        if (attributes.at(i) == name)
            return true;
    }
    return false;
}

EGLint attribute(EGLint name)
{
    const QList<EGLint> &attributes = FakeEgl::record().imageAttributes;
    for (qsizetype i = 0; i + 1 < attributes.size(); i += 2) {
        if (attributes.at(i) == name)
            return attributes.at(i + 1);
    }
    return -1;
}

} // namespace

class TestDmaBufImporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void realEglReportsItsMissingPiecesOnce_data();
    void realEglReportsItsMissingPiecesOnce();

    void displayFailsOnceWithItsReason_data();
    void displayFailsOnceWithItsReason();
    void withoutModifiersExtensionOffersNoModifiers();
    void dropsExternalOnlyModifiers();
    void sendsModifierAttributesOnlyForARealModifier();
    void refusesBadSizesAndPlaneCountsWithoutEglCalls_data();
    void refusesBadSizesAndPlaneCountsWithoutEglCalls();
    void contextFailureKeepsDisplayAndFailsImports_data();
    void contextFailureKeepsDisplayAndFailsImports();
    void choosesAConfigWithoutNoConfigExtension();
    void failedImageCreationLogsFourcc();
    void incompleteFramebufferGivesNullAndReleasesEverything();
    void readsBackAnOpaqueImage();

private:
    std::optional<LogTail> m_log;

    // Lines logged since init() that contain the text.
    int logged(const QString &text) const { return int(m_log->lines().filter(text).size()); }
};

void TestDmaBufImporter::initTestCase()
{
    Core::Log::install();
}

void TestDmaBufImporter::init()
{
    FakeEgl::reset();
    m_log.emplace();
}

void TestDmaBufImporter::realEglReportsItsMissingPiecesOnce_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("reason");
    // No GPU here: the default display cannot start without an X server, and the surfaceless
    // software display has no DMA-BUF import.
    QTest::newRow("no display server") << QString() << u"eglInitialize"_s;
    QTest::newRow("surfaceless") << u"surfaceless"_s << u"no EGL_EXT_image_dma_buf_import"_s;
}

void TestDmaBufImporter::realEglReportsItsMissingPiecesOnce()
{
    QFETCH(QString, platform);
    QFETCH(QString, reason);

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    if (!platform.isEmpty())
        environment.insert(u"EGL_PLATFORM"_s, platform);
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(CLOCKWARDEN_EGL_PROBE), {});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);

    QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("unavailable unavailable"));
    QCOMPARE(m_log->lines().filter(u"DmaBufImporter init failed"_s),
             QStringList{ m_log->lines().filter(u"DmaBufImporter init failed: "_s + reason) });
    QCOMPARE(logged(u"DmaBufImporter init failed: "_s + reason), 1);
}

void TestDmaBufImporter::displayFailsOnceWithItsReason_data()
{
    QTest::addColumn<bool>("display");
    QTest::addColumn<bool>("initializes");
    QTest::addColumn<QByteArray>("extensions");
    QTest::addColumn<QString>("reason");

    const QByteArray all = FakeEgl::Script().extensions;
    QByteArray noSurfaceless = all;
    noSurfaceless.replace("EGL_KHR_surfaceless_context", "");
    QByteArray noImport = "EGL_KHR_surfaceless_context EGL_KHR_get_all_proc_addresses";
    QByteArray noProcAddresses = all;
    noProcAddresses.replace("EGL_KHR_get_all_proc_addresses", "");

    QTest::newRow("no display") << false << true << all << u"eglGetDisplay"_s;
    QTest::newRow("initialize fails") << true << false << all << u"eglInitialize"_s;
    QTest::newRow("no surfaceless context")
            << true << true << noSurfaceless << u"no EGL_KHR_surfaceless_context"_s;
    QTest::newRow("no dma-buf import")
            << true << true << noImport << u"no EGL_EXT_image_dma_buf_import"_s;
    QTest::newRow("no proc addresses")
            << true << true << noProcAddresses
            << u"no EGL_KHR_get_all_proc_addresses (cannot resolve core GL)"_s;
}

void TestDmaBufImporter::displayFailsOnceWithItsReason()
{
    QFETCH(bool, display);
    QFETCH(bool, initializes);
    QFETCH(QByteArray, extensions);
    QFETCH(QString, reason);
    FakeEgl::script().display = display;
    FakeEgl::script().initializes = initializes;
    FakeEgl::script().extensions = extensions;

    DmaBufImporter importer(FakeEgl::functions());
    QVERIFY(!importer.isAvailable());
    const qsizetype callsAfterFirst = FakeEgl::record().calls.size();
    QVERIFY(!importer.isAvailable());
    QVERIFY(importer.supportedModifiers(xrgb8888).isEmpty());
    QVERIFY(importOne(importer).isNull());

    QCOMPARE(FakeEgl::record().calls.size(), callsAfterFirst);
    QCOMPARE(m_log->lines().filter(u"DmaBufImporter"_s),
             QStringList{ m_log->lines().filter(u"DmaBufImporter init failed: "_s + reason) });
    QCOMPARE(logged(u"DmaBufImporter init failed: "_s + reason), 1);
}

void TestDmaBufImporter::withoutModifiersExtensionOffersNoModifiers()
{
    FakeEgl::script().extensions.replace("EGL_EXT_image_dma_buf_import_modifiers", "");
    FakeEgl::script().modifiers = { { 1, false }, { 2, false } };
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(importer.isAvailable());
    QVERIFY(importer.supportedModifiers(xrgb8888).isEmpty());
    QVERIFY(!FakeEgl::record().calls.contains(u"eglQueryDmaBufModifiersEXT"_s));
    QCOMPARE(logged(u"DmaBufImporter: EGL display ready (modifiers ext: no)"_s), 1);
    QVERIFY(Platform::Wayland::offeredDmaBufFormats(importer).isEmpty());
}

void TestDmaBufImporter::dropsExternalOnlyModifiers()
{
    FakeEgl::script().modifiers = { { 0x11, true }, { 0x22, false }, { 0x33, true }, { 0, false } };
    DmaBufImporter importer(FakeEgl::functions());

    QCOMPARE(importer.supportedModifiers(xrgb8888), (QList<quint64>{ 0x22, 0 }));
    QCOMPARE(logged(u"DmaBufImporter: EGL display ready (modifiers ext: yes)"_s), 1);
}

void TestDmaBufImporter::sendsModifierAttributesOnlyForARealModifier()
{
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(!importOne(importer, Platform::Wayland::drmFormatModInvalid, 2).isNull());
    QVERIFY(hasAttribute(EGL_DMA_BUF_PLANE1_PITCH_EXT));
    QVERIFY(!hasAttribute(EGL_DMA_BUF_PLANE0_MODIFIER_LO_EXT));
    QVERIFY(!hasAttribute(EGL_DMA_BUF_PLANE1_MODIFIER_HI_EXT));

    QVERIFY(!importOne(importer, 0x0100000000000002ULL, 2).isNull());
    QCOMPARE(attribute(EGL_LINUX_DRM_FOURCC_EXT), EGLint(xrgb8888));
    QCOMPARE(attribute(EGL_DMA_BUF_PLANE1_FD_EXT), 12);
    QCOMPARE(attribute(EGL_DMA_BUF_PLANE1_OFFSET_EXT), 100);
    QCOMPARE(attribute(EGL_DMA_BUF_PLANE0_MODIFIER_LO_EXT), 2);
    QCOMPARE(attribute(EGL_DMA_BUF_PLANE1_MODIFIER_HI_EXT), 0x01000000);
    QVERIFY(!hasAttribute(EGL_DMA_BUF_PLANE2_FD_EXT));
}

void TestDmaBufImporter::refusesBadSizesAndPlaneCountsWithoutEglCalls_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("planes");
    QTest::newRow("zero width") << 0 << 2 << 1;
    QTest::newRow("zero height") << 4 << 0 << 1;
    QTest::newRow("no plane") << 4 << 2 << 0;
    QTest::newRow("five planes") << 4 << 2 << 5;
}

void TestDmaBufImporter::refusesBadSizesAndPlaneCountsWithoutEglCalls()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, planes);
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(importOne(importer, 0, planes, width, height).isNull());
    QCOMPARE(FakeEgl::record().calls, QStringList());
    QVERIFY(m_log->lines().isEmpty());
}

void TestDmaBufImporter::contextFailureKeepsDisplayAndFailsImports_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("bind API") << u"eglBindAPI"_s;
    QTest::newRow("choose config") << u"eglChooseConfig"_s;
    QTest::newRow("create context") << u"eglCreateContext"_s;
}

void TestDmaBufImporter::contextFailureKeepsDisplayAndFailsImports()
{
    QFETCH(QString, step);
    FakeEgl::Script &script = FakeEgl::script();
    script.extensions.replace("EGL_KHR_no_config_context", "");
    script.modifiers = { { 5, false } };
    script.bindsApi = step != u"eglBindAPI"_s;
    script.choosesConfig = step != u"eglChooseConfig"_s;
    script.createsContext = step != u"eglCreateContext"_s;
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(importOne(importer).isNull());
    QVERIFY(importOne(importer).isNull());
    QVERIFY(importer.isAvailable());
    QCOMPARE(importer.supportedModifiers(xrgb8888), QList<quint64>{ 5 });
    QCOMPARE(logged(u"DmaBufImporter context init failed: "_s + step), 1);
    QVERIFY(!FakeEgl::record().calls.contains(u"eglCreateImageKHR"_s));
}

void TestDmaBufImporter::choosesAConfigWithoutNoConfigExtension()
{
    DmaBufImporter withExtension(FakeEgl::functions());
    QVERIFY(!importOne(withExtension).isNull());
    QVERIFY(!FakeEgl::record().calls.contains(u"eglChooseConfig"_s));

    FakeEgl::reset();
    FakeEgl::script().extensions.replace("EGL_KHR_no_config_context", "");
    DmaBufImporter withoutExtension(FakeEgl::functions());
    QVERIFY(!importOne(withoutExtension).isNull());
    QCOMPARE(FakeEgl::record().calls.count(u"eglChooseConfig"_s), 1);
}

void TestDmaBufImporter::failedImageCreationLogsFourcc()
{
    FakeEgl::script().createsImage = false;
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(importOne(importer).isNull());
    QVERIFY(importOne(importer).isNull());
    QCOMPARE(logged(u"DmaBufImporter: eglCreateImageKHR failed (fourcc=%1)"_s.arg(xrgb8888)), 2);
    QCOMPARE(FakeEgl::record().calls.last(), u"eglMakeCurrent(none)"_s);
    QVERIFY(!FakeEgl::record().calls.contains(u"glGenTextures"_s));
}

void TestDmaBufImporter::incompleteFramebufferGivesNullAndReleasesEverything()
{
    FakeEgl::script().framebufferComplete = false;
    DmaBufImporter importer(FakeEgl::functions());

    QVERIFY(importOne(importer).isNull());
    QCOMPARE(logged(u"DmaBufImporter: incomplete FBO"_s), 1);
    const QStringList &calls = FakeEgl::record().calls;
    QVERIFY(!calls.contains(u"glReadPixels"_s));
    const QStringList tail = calls.mid(calls.size() - 6);
    QCOMPARE(tail, (QStringList{ u"glBindFramebuffer"_s, u"glDeleteFramebuffers"_s,
                                 u"glBindTexture"_s, u"glDeleteTextures"_s, u"eglDestroyImageKHR"_s,
                                 u"eglMakeCurrent(none)"_s }));
}

void TestDmaBufImporter::readsBackAnOpaqueImage()
{
    // The driver hands back alpha 0, as screen-cast buffers carry no alpha.
    FakeEgl::script().pixel = QByteArray("\x10\x80\xf0\x00", 4);
    DmaBufImporter importer(FakeEgl::functions());

    const QImage image = importOne(importer, 0x0100000000000002ULL, 1, 4, 2);
    QCOMPARE(image.size(), QSize(4, 2));
    QCOMPARE(image.format(), QImage::Format_RGBX8888);
    QCOMPARE(image.pixel(3, 1), qRgb(0x10, 0x80, 0xf0));
    const QImage scaled = image.scaled(2, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(scaled.pixel(0, 0), qRgb(0x10, 0x80, 0xf0));
    QCOMPARE(image.convertToFormat(QImage::Format_ARGB32).pixel(0, 0), qRgb(0x10, 0x80, 0xf0));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestDmaBufImporter)

#include "tst_dmabufimporter.moc"
