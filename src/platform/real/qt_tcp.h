// The real TCP back end: QTcpSocket on the GUI thread, with a QTimer for the connect's time
// limit and a read buffer bounded to kTcpReadBufferBytes. A QCoreApplication must exist.
#pragma once

#include "platform/tcp.h"

namespace platform {

class QtTcp : public TcpBackEnd {
  public:
    std::unique_ptr<TcpConnection> connect(const std::string& host, int port,
                                           double timeoutSeconds, TcpEvents events) override;
};

}  // namespace platform
