// A second process for the DICOM tests: a Quorvel that is killed in the middle of a send.
//   dicom_send_child <video root> <clip> <archive port> <archive AE title>
// queues the clip and its snapshots and sends them; when the archive has stored the first one,
// before it is marked sent, it writes "stored" and waits to be killed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "dicom/dicom_send_queue.h"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    CExamStore store;
    if (!store.Open(argv[1]).ok()) return 3;
    if (!CDicomSendQueue::QueueClip(store, argv[2]).ok()) return 4;
    CDicomSendQueue queue(store, std::string(argv[1]) + "/.outgoing", nullptr);
    queue.SetAfterStore([](const SendItem&) {
        std::printf("stored\n");
        std::fflush(stdout);
        for (;;) ::pause();
    });
    queue.SetArchive({"127.0.0.1", std::atoi(argv[3]), argv[4], "QUORVELCHILD"});
    queue.Start();
    for (;;) ::pause();
}
