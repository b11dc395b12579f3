"""The blocker search of the real program code under Wine: holder processes
hold files and folders on a drive mapped to a temporary folder, and the
search (find_blocker.exe, which links the program's code) names them."""
import os
import shutil
import unittest

import harness
from harness import read_text, wait_until


class BlockerSearchTest(harness.WineTestCase):
    def setUp(self):
        super().setUp()
        self.stick = self.map_drive("E")
        os.makedirs(os.path.join(self.stick, "dir"))
        with open(os.path.join(self.stick, "dir", "file.txt"), "w") as f:
            f.write("held open\n")

    def hold(self, *paths, program=None):
        """Starts a program that holds the Windows paths open; returns its process id."""
        folder = self.make_folder("tarnwick-holder-")
        pid_file = os.path.join(folder, "pid")
        self.start(program or self.build_file("hold_file.exe"),
                   [self.windows_path(pid_file)] + list(paths))
        return int(wait_until(lambda: read_text(pid_file).strip(), 60, "the holder's process id"))

    def find(self, letter="E", *own_paths):
        code, found = self.tool_reply("find_blocker", letter, *own_paths)
        self.assertEqual(code, 0, found)
        return found

    def assertHolderIs(self, found, pid):
        self.assertEqual(found["found"], "1")
        self.assertEqual(int(found["pid"]), pid)
        self.assertEqual(found["image"].lower(),
                         self.windows_path(self.build_file("hold_file.exe")).lower())

    def test_a_process_holding_a_file_is_found_with_its_id_executable_and_path(self):
        pid = self.hold(r"E:\dir\file.txt")
        found = self.find("E")
        self.assertHolderIs(found, pid)
        self.assertEqual((found["holds"], found["runs"]), ("1", "0"))
        self.assertEqual(found["path"], r"E:\dir\file.txt")

    def test_a_lower_case_letter_is_reported_upper_case(self):
        pid = self.hold(r"E:\dir\file.txt")
        found = self.find("e")
        self.assertHolderIs(found, pid)
        self.assertEqual(found["path"], r"E:\dir\file.txt")

    def test_the_root_folder_alone_is_reported_as_the_letter_and_a_backslash(self):
        pid = self.hold("E:\\")
        found = self.find("E")
        self.assertHolderIs(found, pid)
        self.assertEqual(found["holds"], "1")
        self.assertEqual(found["path"], "E:\\")

    def test_a_file_held_after_a_folder_is_reported(self):
        pid = self.hold(r"E:\dir", r"E:\dir\file.txt")
        found = self.find("E")
        self.assertHolderIs(found, pid)
        self.assertEqual(found["path"], r"E:\dir\file.txt")

    def test_a_folder_held_by_one_process_wins_over_a_file_held_by_a_later_one(self):
        first = self.hold(r"E:\dir")
        self.hold(r"E:\dir\file.txt")
        found = self.find("E")
        self.assertHolderIs(found, first)
        self.assertEqual(found["path"], r"E:\dir")

    def test_a_program_started_from_the_drive_is_reported_as_running_from_it(self):
        shutil.copyfile(self.build_file("hold_file.exe"), os.path.join(self.stick, "holder.exe"))
        pid = self.hold(r"E:\dir\file.txt", program=r"E:\holder.exe")
        found = self.find("E")
        self.assertEqual(found["found"], "1")
        self.assertEqual(int(found["pid"]), pid)
        self.assertEqual((found["runs"], found["holds"]), ("1", "0"))
        self.assertEqual(found["image"].upper(), r"E:\HOLDER.EXE")
        self.assertEqual(found["path"], "")

    def test_the_searching_process_is_examined_like_any_other(self):
        found = self.find("E", r"E:\dir\file.txt")
        self.assertEqual(found["found"], "1")
        self.assertEqual(found["pid"], found["self"])
        self.assertEqual(found["path"], r"E:\dir\file.txt")

    def test_files_on_another_drive_are_not_reported(self):
        other = self.map_drive("F")
        with open(os.path.join(other, "x.txt"), "w") as f:
            f.write("x")
        pid = self.hold(r"F:\x.txt")
        found = self.find("E")
        self.assertEqual((found["found"], found["holds"], found["runs"], found["path"]),
                         ("0", "0", "0", ""))
        found = self.find("F")
        self.assertHolderIs(found, pid)
        self.assertEqual(found["path"], r"F:\x.txt")


    def test_a_process_with_a_dll_loaded_from_the_drive_is_reported_as_running_from_it(self):
        os.makedirs(os.path.join(self.stick, "lib"))
        shutil.copyfile(self.build_file("stick_module.dll"), os.path.join(self.stick, "lib", "stick_module.dll"))
        pid = self.hold(r"E:\lib\stick_module.dll", program=self.build_file("hold_module.exe"))
        found = self.find("E")
        self.assertEqual(found["found"], "1")
        self.assertEqual(int(found["pid"]), pid)
        self.assertEqual((found["runs"], found["holds"], found["path"]), ("1", "0", ""))
        self.assertEqual(found["image"].lower(),
                         self.windows_path(self.build_file("hold_module.exe")).lower())

    def test_a_process_whose_module_list_cannot_be_read_is_named_by_its_image(self):
        # A process suspended before its loader ran has no module list yet, as a
        # 64-bit process has none for a 32-bit program; the system still knows
        # its executable. The child inherits the file handle; its parent closes its own.
        program = self.build_file("sleeper.exe")
        pid = self.hold(program, r"E:\dir\file.txt", program=self.build_file("hold_suspended.exe"))
        found = self.find("E")
        self.assertEqual((found["found"], found["holds"], found["runs"]), ("1", "1", "0"))
        self.assertEqual(int(found["pid"]), pid)
        self.assertEqual(found["path"], r"E:\dir\file.txt")
        self.assertEqual(found["image"].lower(), self.windows_path(program).lower())

    def test_a_suspended_program_started_from_the_drive_is_found_by_its_image(self):
        shutil.copyfile(self.build_file("sleeper.exe"), os.path.join(self.stick, "sleeper.exe"))
        pid = self.hold(r"E:\sleeper.exe", program=self.build_file("hold_suspended.exe"))
        found = self.find("E")
        self.assertEqual((found["found"], found["runs"], found["holds"]), ("1", "1", "0"))
        self.assertEqual(int(found["pid"]), pid)
        self.assertEqual(found["image"].upper(), r"E:\SLEEPER.EXE")


if __name__ == "__main__":
    unittest.main()
