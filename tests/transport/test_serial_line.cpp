// Line settings as the driver stores them, checked on a pseudo-terminal.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "common/settings.h"
#include "serial_line.h"

namespace virk {
namespace {

class PseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(m_Master, 0);
    ASSERT_EQ(grantpt(m_Master), 0);
    ASSERT_EQ(unlockpt(m_Master), 0);
    m_Slave = open(ptsname(m_Master), O_RDWR | O_NOCTTY);
    ASSERT_GE(m_Slave, 0);
  }
  void TearDown() override {
    if (m_Slave >= 0) close(m_Slave);
    if (m_Master >= 0) close(m_Master);
  }
  struct termios2 Stored() const {
    struct termios2 tio {};
    EXPECT_EQ(ioctl(m_Slave, TCGETS2, &tio), 0);
    return tio;
  }
  int m_Master = -1;
  int m_Slave = -1;
};

TEST_F(PseudoTerminal, ParityDataAndStopBits) {
  CPortIO_Data_COM data;
  struct Case {
    uint8_t parity;
    unsigned set;
  };
  const Case cases[] = {
      {0, 0}, {1, PARENB | PARODD}, {2, PARENB}, {3, PARENB | PARODD | CMSPAR}, {4, PARENB | CMSPAR}};
  for (const Case& c : cases) {
    data.m_Parity = c.parity;
    data.m_DataBits = 7;
    data.m_StopBits = 2;
    // A pseudo-terminal forces 8 data bits without parity, so the settings
    // are checked as built for the driver.
    struct termios2 tio = Stored();
    serial::BuildLineSettings(tio, data, false);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.set) << int(c.parity);
    EXPECT_EQ(tio.c_cflag & CSIZE, unsigned(CS7));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(bool(tio.c_iflag & INPCK), c.parity != 0);
    // Raw: no echo, no line editing, no translation, reads never wait in the driver.
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_iflag & (ICRNL | IXON));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
  }
}

TEST_F(PseudoTerminal, StandardAndOtherBaudRatesAndHandshake) {
  CPortIO_Data_COM data;
  data.m_BaudRate = 19200;
  ASSERT_EQ(serial::ApplyLineSettings(m_Slave, data, true), 0);
  struct termios2 tio = Stored();
  EXPECT_EQ(tio.c_cflag & CBAUD, unsigned(B19200));
  EXPECT_TRUE(tio.c_cflag & CRTSCTS);
  EXPECT_EQ(tio.c_cflag & CSIZE, unsigned(CS8));
  EXPECT_FALSE(tio.c_cflag & CSTOPB);

  for (uint32_t rate : {14400u, 56000u, 128000u, 256000u}) {
    data.m_BaudRate = rate;
    ASSERT_EQ(serial::ApplyLineSettings(m_Slave, data, false), 0) << rate;
    tio = Stored();
    EXPECT_EQ(tio.c_cflag & CBAUD, unsigned(BOTHER)) << rate;
    EXPECT_EQ(tio.c_ospeed, rate);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
  }
}

TEST_F(PseudoTerminal, SettingsTheLineCannotTakeAreRefused) {
  CPortIO_Data_COM data;
  data.m_BaudRate = 4800;
  ASSERT_EQ(serial::ApplyLineSettings(m_Slave, data, false), 0);
  data.m_BaudRate = 9600;
  data.m_DataBits = 9;
  EXPECT_FALSE(serial::LineSettingsValid(data));
  EXPECT_NE(serial::ApplyLineSettings(m_Slave, data, false), 0);
  data.m_DataBits = 8;
  data.m_StopBits = 3;
  EXPECT_NE(serial::ApplyLineSettings(m_Slave, data, false), 0);
  data.m_StopBits = 1;
  data.m_BaudRate = 0;
  EXPECT_NE(serial::ApplyLineSettings(m_Slave, data, false), 0);
  // The refused attempts left the line as it was.
  EXPECT_EQ(Stored().c_ospeed, 4800u);
}

}  // namespace
}  // namespace virk
