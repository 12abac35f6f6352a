#include "AppState.h"
#include "EditorFixture.h"
#include "FXsettings.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// The pedal answers a whole image with its 17-character outcome.
class UploadTest : public EditorFixture {
protected:
    void SetUp() override
    {
        ft().onWrite = [this](const QByteArray &bytes) {
            if (bytes == QByteArray::fromHex("0200") && answers)
                ft().rx += answerText(answer);
            else if (bytes.size() > 100 && imageAnswer)
                ft().rx += outcome;
        };
    }
    QByteArray outcome = "Upload Complete\r\n";
    bool imageAnswer = true;
};

} // namespace

TEST_F(UploadTest, CatalogueUploadWritesTheWholeImageAndShowsTheAnswer)
{
    TformMain &m = linked();
    m.btnUpload->click();
    ASSERT_GE(ft().writes.size(), 3u);
    EXPECT_EQ(ft().writes[0], QByteArray::fromHex("0D01"));
    EXPECT_EQ(ft().writes[1].size(), 4256);
    EXPECT_TRUE(ft().writes[1].startsWith(QByteArray::fromHex("0010A000270007")));
    EXPECT_EQ(ft().writes[2], QByteArray::fromHex("0200")); // the REQUEST that ends it
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Upload Complete\r\n"));
    EXPECT_TRUE(log().contains("size: 4256\nfilecontent (first 128 bytes): 0010A0"));
    EXPECT_TRUE(log().contains("num of bytes: 4256\nwrite to device"));
    EXPECT_FALSE(log().contains("num of bytes received from device"));
    EXPECT_FALSE(m.UploadCheckTimer->isEnabled());
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());
    EXPECT_NE(fakes.clock.pauses.end(), std::find(fakes.clock.pauses.begin(), fakes.clock.pauses.end(), 40));
}

TEST_F(UploadTest, NoSendsNothingAndPlaceholdersStayOffRealPedals)
{
    TformMain &m = linked();
    fakes.dialogs.answers = {Answer::No};
    m.btnUpload->click();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(m.Timer_USB_Read->isEnabled());

    ft().virtualBridge = false;
    m.btnUpload->click();
    EXPECT_TRUE(ft().writes.empty());
    EXPECT_TRUE(fakes.dialogs.messages.last().startsWith("This editor build carries no real algorithm images"));
}

TEST_F(UploadTest, LateAnswerReplacesUploadFailed)
{
    TformMain &m = linked();
    imageAnswer = false;
    const qint64 start = fakes.clock.nowMs();
    bool failedSeen = false;
    fakes.clock.onWait = [&](qint64 now) {
        failedSeen = failedSeen || m.lblStatus->text() == QLatin1String("Upload Failed");
        if (now - start >= 6000 && ft().rx.isEmpty() && !imageAnswer) {
            imageAnswer = true;
            ft().rx += "Late\r\n"; // five characters and a line end
        }
    };
    m.btnUpload->click();
    EXPECT_TRUE(failedSeen);
    // Six bytes came; the other eleven of the seventeen are what the buffer held.
    EXPECT_TRUE(m.lblStatus->text().startsWith(QStringLiteral("Late\r\n")));
    EXPECT_EQ(m.lblStatus->text().size(), 17);
    EXPECT_FALSE(m.UploadCheckTimer->isEnabled());
}

// At a low latency timer the answer comes in two packets a few
// milliseconds apart; the label shows it whole, not its last piece.
TEST_F(UploadTest, AnAnswerInTwoPacketsIsShownWhole)
{
    TformMain &m = linked();
    imageAnswer = false;
    int waitsSinceFirst = -1;
    fakes.clock.onWait = [&](qint64) {
        if (waitsSinceFirst < 0 && m.lblStatus->text() == QLatin1String("Uploading...")) {
            ft().rx += "Upload Compl";
            waitsSinceFirst = 0;
        } else if (waitsSinceFirst >= 0 && ++waitsSinceFirst == 2) {
            ft().rx += "ete\r\n";
        }
    };
    m.btnUpload->click();
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Upload Complete\r\n"));
    EXPECT_EQ(log().count("\nreceived: "), 1); // one read took it all
    EXPECT_FALSE(m.UploadCheckTimer->isEnabled());
}

TEST_F(UploadTest, FileUpload)
{
    TformMain &m = linked();
    QTemporaryDir dir;
    auto makeFile = [&dir](const char *name, qint64 size) {
        const QString path = QDir(dir.path()).filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, '\x5A'));
        return path;
    };
    const QString full = makeFile("full.dat", 65536);
    fakes.dialogs.fileNames = {full};
    m.menuLoadAlgorithmFromFile->trigger();
    ASSERT_EQ(ft().writes.size(), 2u);
    EXPECT_EQ(ft().writes[1].size(), 65536);
    EXPECT_TRUE(log().contains("65536 Bytes Sent ..."));
    EXPECT_TRUE(log().endsWith("num of bytes received from device: 0"));
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Upload Complete\r\n"));
    EXPECT_EQ(m.uploadFolder, QFileInfo(full).absolutePath());
    EXPECT_NE(fakes.clock.pauses.end(), std::find(fakes.clock.pauses.begin(), fakes.clock.pauses.end(), 400));

    // A file the pedal cannot take whole, an empty one (the pedal would wait
    // for ever) and a vanished one are refused before anything is sent.
    const struct {
        QString path;
        const char *message;
    } refused[] = {
        {makeFile("big.dat", 70000), "big.dat holds 70000 bytes; an algorithm image holds 1 to 65536. Nothing was sent."},
        {makeFile("empty.dat", 0), "empty.dat holds 0 bytes; an algorithm image holds 1 to 65536. Nothing was sent."},
        {QDir(dir.path()).filePath("gone.dat"), "Cannot open"},
    };
    for (const auto &r : refused) {
        ft().writes.clear();
        fakes.dialogs.fileNames = {r.path};
        fakes.dialogs.questions.clear();
        m.menuLoadAlgorithmFromFile->trigger();
        EXPECT_TRUE(fakes.dialogs.messages.last().contains(QString::fromLatin1(r.message)))
            << fakes.dialogs.messages.last().toStdString();
        EXPECT_TRUE(ft().writes.empty()) << r.message;
        EXPECT_TRUE(fakes.dialogs.questions.isEmpty()) << r.message; // not asked to upload
    }

    // Cancelled dialog: nothing at all.
    ft().writes.clear();
    m.menuLoadAlgorithmFromFile->trigger();
    EXPECT_TRUE(ft().writes.empty());
}
