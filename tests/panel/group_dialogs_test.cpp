// The group dialogs against a real norvex-groupd: the order of their messages, what they hand
// back, and that their requests leave the UI thread free.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "groupservice/new_group.h"
#include "panel/details_dialog.h"
#include "panel/login_dialog.h"
#include "panel/new_group_dialog.h"
#include "panel_fakes.h"
#include "support/child_process.h"
#include "support/net_util.h"
#include "support/raw_http_server.h"

namespace norvex {

class GroupDialogsTest : public QObject {
    Q_OBJECT

    std::string dir_;
    int port_ = 0;
    test::ChildProcess groupd_;
    test::RecordingBoxes boxes_;
    std::unique_ptr<DialogEnv> env_;

    QStringList Texts() const {
        QStringList t;
        for (const test::ShownBox& b : boxes_.shown) t << b.text;
        return t;
    }

private slots:
    void initTestCase() {
        char tmpl[] = "/tmp/norvex-panel-dialogs-XXXXXX";
        QVERIFY(::mkdtemp(tmpl) != nullptr);
        dir_ = tmpl;
        port_ = test::FreeLoopbackPort();
        QVERIFY(groupd_.Start({NORVEX_GROUPD_BIN, "serve", "--port", std::to_string(port_), "--db",
                               dir_ + "/groups.db"},
                              {}, dir_ + "/groupd.log"));
        QVERIFY(test::WaitForListener(port_, std::chrono::seconds(10)));
        GroupServiceEndpoints e;
        e.groupService = HostPort{"127.0.0.1", static_cast<uint16_t>(port_)};
        e.onenetApi = "127.0.0.1:" + std::to_string(port_);
        env_ = std::make_unique<DialogEnv>(DialogEnv{e, boxes_});
    }
    void cleanupTestCase() {
        groupd_.Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void init() { boxes_.shown.clear(); }

    void newGroupValidatesInOrderBeforeSendingAnything() {
        NewGroupDialog d(*env_, nullptr);
        d.show();
        struct Case {
            const char *name, *pw, *confirm, *message;
        } cases[] = {
            {"   ", "abc123", "abc123", "群名称 和 群密码 不能为空"},
            {"Plant", "abc123", "ABC123", "密码不一致"},
            {"Plant", "abc12", "abc12", "密码长度不能小于6"},
            {"Plant", "abc 123", "abc 123", "密码必须为：数字 或 大小写字母!"},
            {"Plant", "abc12!", "abc12!", "密码必须为：数字 或 大小写字母!"},
        };
        for (const Case& c : cases) {
            d.NameBox()->setText(QString::fromUtf8(c.name));
            d.PasswordBox()->setText(QString::fromUtf8(c.pw));
            d.ConfirmBox()->setText(QString::fromUtf8(c.confirm));
            boxes_.shown.clear();
            QTest::mouseClick(d.OkButton(), Qt::LeftButton);
            QCOMPARE(Texts(), QStringList{QString::fromUtf8(c.message)});
            QVERIFY(d.isEnabled() && d.isVisible());
        }
        QCOMPARE(d.NameBox()->echoMode(), QLineEdit::Normal);
        QCOMPARE(d.PasswordBox()->echoMode(), QLineEdit::Password);
        QCOMPARE(d.ConfirmBox()->echoMode(), QLineEdit::Password);
    }

    void loginRefusesAndAcceptsAsTheServiceSays() {
        NewGroupResult made = CreateNewGroup(env_->endpoints, "Pump House", "Abc123", "Abc123");
        QVERIFY2(made.created, made.message.c_str());

        LoginDialog d(*env_, nullptr);
        d.show();
        QCOMPARE(d.PasswordBox()->echoMode(), QLineEdit::Password);
        d.IdBox()->setText("   ");
        d.PasswordBox()->setText("Abc123");
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
        QTRY_COMPARE(Texts(), QStringList{QStringLiteral("群ID 和 群密码 不能为空")});

        d.IdBox()->setText(QString::fromStdString(" " + made.groupId + " "));
        d.PasswordBox()->setText("wrong1");
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
        QVERIFY(!d.isEnabled());  // the request runs off the UI thread
        QTRY_COMPARE(boxes_.shown.size(), size_t(2));
        QCOMPARE(boxes_.shown[1].text, QStringLiteral("ID 或 密码 不正确！"));
        QCOMPARE(boxes_.shown[1].caption, QStringLiteral("NorvexPanel"));
        QVERIFY(d.isEnabled() && d.result() != QDialog::Accepted);

        d.PasswordBox()->setText("Abc123");
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
        QTRY_COMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.Group().id, " " + made.groupId + " ");  // as typed
        QCOMPARE(d.Group().name, std::string("pump house"));
        QCOMPARE(d.Group().password, std::string("Abc123"));
        QCOMPARE(boxes_.shown.size(), size_t(2));
    }

    void newFromLoginShowsTheDetailsThenFillsTheLoginBoxes() {
        LoginDialog login(*env_, nullptr);
        login.show();
        QString detailsName, detailsId, detailsCreated;
        bool newGroupOpenWhileDetails = false;
        test::WhenModal<NewGroupDialog>([&](NewGroupDialog* d) {
            d->NameBox()->setText("  Tank Farm ");
            d->PasswordBox()->setText(" Xyz789 ");
            d->ConfirmBox()->setText("Xyz789");
            test::WhenModal<DetailsDialog>([&, d](DetailsDialog* details) {
                detailsId = details->Id();
                detailsName = details->Name();
                detailsCreated = details->Created();
                newGroupOpenWhileDetails = d->isVisible();
                details->accept();
            });
            QTest::mouseClick(d->OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(login.NewButton(), Qt::LeftButton);  // returns when the dialog ends
        QVERIFY(newGroupOpenWhileDetails);
        QCOMPARE(detailsName, QStringLiteral("Tank Farm"));
        QVERIFY(!detailsId.isEmpty() && !detailsCreated.isEmpty());
        QCOMPARE(login.IdBox()->text(), detailsId);
        QCOMPARE(login.PasswordBox()->text(), QStringLiteral(" Xyz789 "));
        QVERIFY(login.isVisible());
        QVERIFY(boxes_.shown.empty());
    }

    void newGroupClosedWhileCreatingWaitsAndKeepsTheGroup() {
        using test::RawHttpServer;
        std::atomic<bool> answerBind{false};
        RawHttpServer server([&answerBind](const std::string& request) {
            const std::string target = RawHttpServer::Target(request);
            if (target.starts_with("/norvex/updateonenetinfo.asp")) {
                for (int i = 0; i < 1000 && !answerBind; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                return RawHttpServer::Response(503, "");  // the bind is never confirmed
            }
            if (target.starts_with("/norvex/precreategroup.asp"))
                return RawHttpServer::Response(200, "100001");
            if (target.starts_with("/register_de"))
                return RawHttpServer::Response(
                    200, R"({"errno":0,"error":"succ","data":{"key":"k","device_id":"5001"}})");
            return RawHttpServer::Response(200, "100001,plant,2026-01-01 10:00:00");
        });
        QVERIFY(server.Ok());
        GroupServiceEndpoints e;
        e.groupService = HostPort{"127.0.0.1", static_cast<uint16_t>(server.Port())};
        e.onenetApi = server.HostPort();
        DialogEnv env{e, boxes_};
        NewGroupDialog d(env, nullptr);
        d.show();
        d.NameBox()->setText("Plant");
        d.PasswordBox()->setText("abc123");
        d.ConfirmBox()->setText("abc123");
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
        QTRY_COMPARE(server.Requests().size(), size_t(3));  // the bind waits for its answer
        QVERIFY(!d.close());
        d.reject();
        QVERIFY(d.isVisible() && d.Creating());

        QString detailsId;
        test::WhenModal<DetailsDialog>([&](DetailsDialog* details) {
            detailsId = details->Id();
            details->accept();
        });
        answerBind = true;
        QTRY_COMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        QCOMPARE(d.GroupId(), QStringLiteral("5001"));
        QCOMPARE(d.Password(), QStringLiteral("abc123"));
        QCOMPARE(detailsId, QStringLiteral("5001"));
        QCOMPARE(Texts(), QStringList{QString::fromUtf8(UnconfirmedBindNote("5001"))});
    }

    // Escape is each dialog's cancel: it ends the dialog rejected, with no message and no request.
    void escapeCancelsEachGroupDialog() {
        LoginDialog login(*env_, nullptr);
        NewGroupDialog create(*env_, nullptr);
        GroupDetailsView view;
        view.id = "5001";
        DetailsDialog details(view, nullptr);
        for (QDialog* d : std::initializer_list<QDialog*>{&login, &create, &details}) {
            d->show();
            QVERIFY(QTest::qWaitForWindowExposed(d));
            QTest::keyClick(d, Qt::Key_Escape);
            QVERIFY2(!d->isVisible(), d->metaObject()->className());
            QCOMPARE(d->result(), int(QDialog::Rejected));
        }
        QVERIFY(boxes_.shown.empty());
    }

    void detailsRejectedCloseBeforeTheyShow() {
        QWidget opener;
        opener.show();
        bool detailsShown = false;
        test::WhenModal<DetailsDialog>([&](DetailsDialog* d) {
            detailsShown = true;
            d->accept();
        });
        bool after = false;
        OpenGroupDetails(&opener, *env_, "nosuchgroup", "Abc123", [&] { after = true; });
        QVERIFY(!opener.isEnabled());
        QTRY_VERIFY(after);
        QCOMPARE(Texts(), QStringList{QStringLiteral("获取详情信息失败")});
        QVERIFY(!detailsShown);
        QVERIFY(opener.isEnabled());
    }
};

}  // namespace norvex

QTEST_MAIN(norvex::GroupDialogsTest)
#include "group_dialogs_test.moc"
