// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#include "main_window.h"
#include "opengl_widget.h"
#include "shader_faults.h"
#include "test_support.h"

#include <QPushButton>
#include <QTest>

namespace {

// Qt logs the whole source of a shader that fails to compile: 50 MB of it
// in one case here. Those warnings are expected and kept out of the log.
class QuietMessages
{
public:
    QuietMessages()
        : m_previous(qInstallMessageHandler([](QtMsgType, const QMessageLogContext &,
                                               const QString &) {}))
    {
    }
    ~QuietMessages() { qInstallMessageHandler(m_previous); }
    QuietMessages(const QuietMessages &) = delete;
    QuietMessages &operator=(const QuietMessages &) = delete;

private:
    QtMessageHandler m_previous;
};

} // namespace

// The window built in a folder whose shaders are missing or broken keeps
// working and shows the background.
class ViewFaultsTest : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useX11UnlessAnotherPlatformIsNamed(); }

private slots:
    void windowKeepsWorkingAndShowsTheBackground_data()
    {
        QTest::addColumn<ShaderEntry>("vertex");
        QTest::addColumn<ShaderEntry>("fragment");
        for (const ShaderFault &fault : shaderFaults())
            QTest::newRow(fault.name) << fault.vertex << fault.fragment;
    }

    void windowKeepsWorkingAndShowsTheBackground()
    {
        QFETCH(ShaderEntry, vertex);
        QFETCH(ShaderEntry, fragment);
        ShaderFolder folder;
        QVERIFY(folder.make(vertex, fragment));
        const WorkingDirectory inFolder(folder.path());
        const QuietMessages quiet;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<OpenGLWidget *>();
        QCOMPARE(pixelsOtherThanBackground(view->grabFramebuffer()), 0);

        QTest::mouseClick(window.findChild<QPushButton *>(), Qt::LeftButton);
        QCOMPARE(describedOffset(view->accessibleDescription()), QPoint(75, 100));
        QCOMPARE(pixelsOtherThanBackground(view->grabFramebuffer()), 0);
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(ViewFaultsTest)
#include "tst_view_faults.moc"
