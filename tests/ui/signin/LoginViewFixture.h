#pragma once

#include "FakeLoginBackend.h"
#include "SignInPageFixture.h"
#include "ui/signin/LoginView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QThreadPool>

#include <memory>

namespace SignInTest {

// A sign-in view over the fake services, shown at 460 x 640; loginCompleted is recorded as the
// last of the fake's effects. The fake outlives the view and every request it started.
struct LoginViewUnderTest
{
    FakeLoginBackend fake;
    std::unique_ptr<UI::LoginView> view;

    LoginViewUnderTest()
    {
        fake.install();
        view = std::make_unique<UI::LoginView>();
        view->resize(460, 640);
        view->show();
        QObject::connect(view.get(), &UI::LoginView::loginCompleted, view.get(),
                         [this] { fake.effects.append(QStringLiteral("loginCompleted")); });
    }
    ~LoginViewUnderTest()
    {
        view.reset();
        fake.finish();
    }
    LoginViewUnderTest(const LoginViewUnderTest &) = delete;
    LoginViewUnderTest &operator=(const LoginViewUnderTest &) = delete;

    template<typename T = QWidget>
    T *part(const QString &name) const
    {
        return child<T>(view.get(), name);
    }
    QLineEdit *email() const { return part<QLineEdit>(QStringLiteral("Login_EmailField")); }
    QLineEdit *password() const { return part<QLineEdit>(QStringLiteral("Login_PasswordField")); }
    QPushButton *submit() const { return part<QPushButton>(QStringLiteral("Login_SubmitButton")); }
    // The label's text while it is shown, else empty.
    QString shown(const QString &labelName) const
    {
        const auto *label = part<QLabel>(labelName);
        return label->isHidden() ? QString() : label->text();
    }
    QWidget *current() const
    {
        return part<QStackedWidget>(QStringLiteral("Login_PhaseHost"))->currentWidget();
    }
    void fillForm(const QString &mail, const QString &secret)
    {
        email()->setText(mail);
        password()->setText(secret);
    }
    // Lets every request the view started be answered and handled.
    static void settle()
    {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
};

} // namespace SignInTest
