"""The action after a reserved run with the real Kestrova.exe: the countdown
window with its cancel, the action skipped for a near reservation, and the
power calls, which under Wine are written to KESTROVA_POWER_LOG instead of
made (Wine must not put the machine it runs on to sleep). The power-off at
the end of a run is test_reservations'; the rules are the unit tests'."""

import time
import unittest

from kestrova_e2e import TEST_PATTERN, KestrovaSession, slot, tmr

COUNTDOWN = "Kestrova 録画後の動作"


class AfterRun(unittest.TestCase):
    def test_a_near_reservation_skips_the_action_the_countdown_cancels_and_a_sleep_is_asked(self):
        # №1 sleeps, but №2 starts 3 s later; №2 hibernates, nothing near:
        # its countdown is cancelled (with Esc); №3, more than a minute after
        # the countdown began, sleeps once its minute is over.
        t = int(time.time()) + 30  # room for a slow start of Wine
        slots = {0: slot(t, t + 2, comment="ﾆｭｰｽ", power_off=2), 1: slot(t + 5, t + 7, comment="天気", power_off=3),
                 2: slot(t + 75, t + 77, power_off=2)}
        s = KestrovaSession.opened_for(self, env=TEST_PATTERN)
        s.env["KESTROVA_POWER_LOG"] = s.win_path("power.log")
        s.write_ini("", unattended="ActionSkipMinutes=1\r\n")
        s.write_file("Kestrova.tmr", tmr(slots))
        s.start(["/T"])
        box = s.box(COUNTDOWN, timeout=t + 40 - time.time())
        self.assertRegex(box.text, r"^\d\d 秒後に休止します$")
        self.assertEqual(box.buttons, [(2, "ｷｬﾝｾﾙ")])
        s.key("esc", "#32770:" + COUNTDOWN)
        s.wait_gone("#32770:" + COUNTDOWN)
        lines = [r[1] for r in s.log_records(5)]
        self.assertEqual(lines[1], "録画後の動作: 次の予約 №2「天気」 が 1 分以内に始まるため、スリープしませんでした")
        self.assertEqual(lines[3:5], ["録画後の動作: 60 秒後に休止します", "録画後の動作: 休止はｷｬﾝｾﾙされました"])
        self.assertFalse(s.exists("power.log"))
        # The sleep is asked for with wake events kept; Kestrova stays up.
        s.wait_file("power.log", timeout=t + 77 + 75 - time.time())
        self.assertEqual(s.read_file("power.log"), b"SetSuspendState hibernate=0 force=0 wakeupEventsDisabled=0\r\n")
        self.assertEqual([r[1] for r in s.log_records(8)][6:8], ["録画後の動作: 60 秒後にスリープします",
                                                                  "録画後の動作: スリープします"])
        self.assertEqual(s.exit_from_menu(), 0)


if __name__ == "__main__":
    unittest.main()
