// Window messages from other threads, modal runs, closing.
#include <QCloseEvent>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ui/menu.h"
#include "platform/ui/window_message.h"
#include "ui_fixture.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;

// Waits for another thread without running this thread's event loop.
bool spin_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class MessageTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        layout(ui_widget("QPushButton", "okbtn"));
        wnd = std::make_unique<RecordingWindow>("XML_TEST");
        ASSERT_TRUE(wnd->create("t"));
        wnd->on_message = [this](unsigned m, pui::WParam w, pui::LParam l, bool& handled) {
            handled_on.push_back(QThread::currentThread());
            received.push_back({m, w, l});
            handled = m != pui::kMsgClose && m != pui::kMsgMenuCommand;
            return static_cast<pui::LResult>(w + static_cast<pui::WParam>(l));
        };
    }
    struct Msg {
        unsigned m;
        pui::WParam w;
        pui::LParam l;
    };
    std::unique_ptr<RecordingWindow> wnd;
    std::vector<QThread*> handled_on;
    std::vector<Msg> received;
};

TEST_F(MessageTest, PostedFromAWorkerArrivesOnTheWindowThreadInOrder) {
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            wnd->post_message(0xC12, static_cast<pui::WParam>(i), 0);
    });
    worker.join();
    ASSERT_TRUE(wait_until([&] { return received.size() == 50; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(received[static_cast<std::size_t>(i)].w, static_cast<pui::WParam>(i));
        EXPECT_EQ(handled_on[static_cast<std::size_t>(i)], QThread::currentThread());
    }
}

TEST_F(MessageTest, SentFromAWorkerBlocksUntilHandledAndReturnsTheResult) {
    std::atomic<pui::LResult> result{-1};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        result = wnd->send_message(0xC13, 40, 2);
        returned = true;
    });
    // The worker cannot finish before the window thread runs its loop.
    ASSERT_TRUE(wait_until([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(result.load(), 42);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(handled_on[0], QThread::currentThread());
}

TEST_F(MessageTest, SentOnTheWindowThreadIsHandledAtOnce) {
    EXPECT_EQ(wnd->send_message(0xD05, 1, 1), 2);
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(MessageTest, ReleasingBlockedSendersFreesAWaitingWorker) {
    std::atomic<bool> returned{false};
    std::atomic<pui::LResult> result{-1};
    std::thread worker([&] {
        result = wnd->send_message(0xC12, 5, 5);
        returned = true;
    });
    // The window thread does not run its loop: the worker waits until released.
    ASSERT_TRUE(spin_until([&] { return wnd->blocked_senders() == 1; }));
    EXPECT_FALSE(returned.load());
    wnd->release_blocked_senders();
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(wnd->blocked_senders(), 0u);
    // The message, if queued, is not handled for a sender that gave up.
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.empty());
    // After the release, sends are refused at once.
    std::thread late([&] { result = wnd->send_message(0xC12, 1, 1); });
    late.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(MessageTest, DestroyingTheWindowReleasesASenderWhoseMessageIsQueued) {
    std::atomic<pui::LResult> result{-1};
    std::thread worker([&] { result = wnd->send_message(0xC12, 9, 9); });
    ASSERT_TRUE(spin_until([&] { return wnd->blocked_senders() == 1; }));
    wnd.reset();
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(MessageTest, CloseMessageEndsAModalRunWithZero) {
    std::optional<int> code;
    pui::Window::set_modal_test_hook([](pui::Window& w) { w.post_message(pui::kMsgClose); });
    code = wnd->show_modal();
    pui::Window::set_modal_test_hook({});
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_FALSE(wnd->is_modal());
}

TEST_F(MessageTest, ShowModalReturnsTheCodeGivenToClose) {
    pui::Window::set_modal_test_hook([](pui::Window& w) {
        EXPECT_TRUE(w.is_modal());
        EXPECT_TRUE(w.isVisible());
        w.close_window(7);
    });
    EXPECT_EQ(wnd->show_modal(), 7);
    // The window manager's close button ends with 0.
    pui::Window::set_modal_test_hook([](pui::Window& w) { w.close(); });
    EXPECT_EQ(wnd->show_modal(), 0);
    pui::Window::set_modal_test_hook({});
}

TEST_F(MessageTest, NonModalCloseHidesAndReports) {
    int closed_with = -1;
    QObject::connect(wnd.get(), &pui::Window::closed, [&](int c) { closed_with = c; });
    wnd->show();
    wnd->close_window(3);
    EXPECT_EQ(closed_with, 3);
    EXPECT_FALSE(wnd->isVisible());
}

TEST_F(MessageTest, UnhandledMenuCommandIsFreedAndHandledOneIsTaken) {
    // Leak checkers catch a record nobody frees.
    wnd->post_message(pui::kMsgMenuCommand,
                      reinterpret_cast<pui::WParam>(new pui::MenuCommand{"exit", "", "Quit"}));
    ASSERT_TRUE(wait_until([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].m, pui::kMsgMenuCommand);
}

TEST(WindowMessageNumbers, SameNameSameNumberInTheRegisteredRange) {
    const unsigned a = pui::register_window_message("ZARN test A");
    const unsigned b = pui::register_window_message("ZARN test B");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(b, 0xFFFFu);
    EXPECT_NE(a, b);
    EXPECT_EQ(pui::register_window_message("ZARN test A"), a);
    EXPECT_EQ(pui::registered_message_name(b), "ZARN test B");
    EXPECT_EQ(pui::register_window_message(""), 0u);
    EXPECT_TRUE(pui::registered_message_name(0x10).empty());
}

TEST(WindowMessageNumbers, ConcurrentRegistrationAgrees) {
    std::vector<unsigned> got(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i) {
        threads.emplace_back([&got, i] { got[i] = pui::register_window_message("ZARN race"); });
    }
    for (auto& t : threads)
        t.join();
    for (unsigned n : got)
        EXPECT_EQ(n, got[0]);
}

}  // namespace
}  // namespace velqa::test
