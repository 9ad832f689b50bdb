#include "TestEnvironment.h"

#include "networking/HttpAnswerParser.h"

#include <QTest>

using Networking::HttpAnswerParser;
using State = Networking::HttpAnswerParser::State;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 bound = 16;

struct Outcome
{
    State state;
    int status;
    QByteArray body;
    QByteArray location;
    bool keepsConnection;
};

// Feeds the answer in pieces of the given size (0: whole), then ends the connection if asked.
Outcome parse(const QByteArray &answer, qsizetype piece, bool connectionEnds)
{
    HttpAnswerParser parser(bound);
    const qsizetype step = piece > 0 ? piece : qMax<qsizetype>(1, answer.size());
    for (qsizetype at = 0; at < answer.size(); at += step)
        parser.feed(QByteArrayView(answer).sliced(at, qMin(step, answer.size() - at)));
    if (connectionEnds)
        parser.finish();
    return { parser.state(), parser.status(), parser.takeBody(), parser.location(),
             parser.keepsConnection() };
}

} // namespace

class TestHttpAnswerParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAnswersWhateverTheirPieces_data();
    void readsAnswersWhateverTheirPieces();
};

void TestHttpAnswerParser::readsAnswersWhateverTheirPieces_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("connectionEnds");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("keepsConnection");

    QTest::newRow("length") << "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"_ba << false
                            << State::Done << 200 << "hello"_ba << true;
    QTest::newRow("chunks with an extension and a trailer")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=y\r\nhello\r\n6\r\n "
               "world\r\n0\r\nX-Trailer: 1\r\n\r\n"_ba
            << false << State::Done << 200 << "hello world"_ba << true;
    QTest::newRow("body until the connection ends")
            << "HTTP/1.1 200 OK\r\n\r\nbody"_ba << true << State::Done << 200 << "body"_ba << false;
    QTest::newRow("interim answer skipped")
            << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\n{}"_ba
            << false << State::Done << 201 << "{}"_ba << true;
    QTest::newRow("no content has no body")
            << "HTTP/1.1 204 No Content\r\n\r\n"_ba << false << State::Done << 204 << ""_ba << true;
    QTest::newRow("no reason phrase") << "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n"_ba << false
                                      << State::Done << 200 << ""_ba << true;
    QTest::newRow("server closes after it")
            << "HTTP/1.1 200 OK\r\nconnection: Close\r\nContent-Length: 0\r\n\r\n"_ba << false
            << State::Done << 200 << ""_ba << false;
    QTest::newRow("HTTP/1.0 closes unless asked")
            << "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx"_ba << false << State::Done << 200
            << "x"_ba << false;
    QTest::newRow("HTTP/1.0 asked to keep the connection")
            << "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\nx"_ba << false
            << State::Done << 200 << "x"_ba << true;
    QTest::newRow("bytes after the answer end the connection")
            << "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nxEXTRA"_ba << false << State::Done
            << 200 << "x"_ba << false;
    QTest::newRow("lengths that disagree")
            << "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxy"_ba << false
            << State::Failed << 0 << ""_ba << false;
    QTest::newRow("not HTTP") << "SSH-2.0-OpenSSH_9.2\r\n\r\n"_ba << false << State::Failed << 0
                              << ""_ba << false;
    QTest::newRow("header without a colon") << "HTTP/1.1 200 OK\r\nbroken\r\n\r\n"_ba << false
                                            << State::Failed << 0 << ""_ba << false;
    QTest::newRow("chunk size that is no number")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"_ba << false
            << State::Failed << 200 << ""_ba << false;
    QTest::newRow("body cut short") << "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"_ba << true
                                    << State::Failed << 200 << "hel"_ba << false;
    QTest::newRow("head cut short")
            << "HTTP/1.1 200 OK\r\nContent-Le"_ba << true << State::Failed << 0 << ""_ba << false;
    QTest::newRow("length announced beyond the bound")
            << "HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n"_ba << false << State::TooLarge << 200
            << ""_ba << true;
    QTest::newRow("chunks growing beyond the bound")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               "a\r\n0123456789\r\na\r\n0123456789\r\n0\r\n\r\n"_ba
            << false << State::TooLarge << 200 << "01234567890123456789"_ba.first(17) << true;
    QTest::newRow("body until the end growing beyond the bound")
            << "HTTP/1.1 200 OK\r\n\r\n01234567890123456"_ba << false << State::TooLarge << 200
            << "01234567890123456"_ba << false;
}

void TestHttpAnswerParser::readsAnswersWhateverTheirPieces()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, connectionEnds);
    QFETCH(State, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, keepsConnection);

    // Whole, one byte at a time, and in pieces that cut lines and the "\r\n" pairs apart.
    for (const qsizetype piece : { 0, 1, 3, 7 }) {
        const Outcome outcome = parse(answer, piece, connectionEnds);
        const QByteArray where = "in pieces of " + QByteArray::number(piece);
        QVERIFY2(outcome.state == state, where);
        if (state == State::Failed)
            continue;
        QVERIFY2(outcome.status == status, where);
        if (state == State::Done) {
            QVERIFY2(outcome.body == body, where);
            QVERIFY2(outcome.keepsConnection == keepsConnection, where);
        }
    }
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestHttpAnswerParser)
#include "tst_httpanswerparser.moc"
