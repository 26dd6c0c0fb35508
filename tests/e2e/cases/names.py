# Names beyond ASCII in UTF-8: the project directory, goals and dependencies
# in the rules file, a goal and a directory on the command line, and a nested
# run started with such a directory. On Windows this rests on the UTF-8 code
# page of the executable's manifest; Wine converts names and arguments with the
# locale's character set, hence a UTF-8 locale here.
from e2elib import Case, done_ok

ENV = {"LC_ALL": "C.UTF-8"}

CASES = [
    Case("project, goals and a nested run", ["-j", "2"], cwd="проект-ø", env=ENV,
         files={"vorn.vorn": "all: ñame-中.txt sub-ü/out-Ж.txt\n"
                             "ñame-中.txt: sóurce-é.txt\n\tcp sóurce-é.txt ñame-中.txt\n"
                             "sub-ü/out-Ж.txt:\n\tvorn -C sub-ü\n",
                "sóurce-é.txt": "S\n",
                "sub-ü/vorn.vorn": "all:\n\techo вложенный > out-Ж.txt\n"},
         expect_files={"ñame-中.txt": "S\n", "sub-ü/out-Ж.txt": "вложенный\n"},
         stderr=done_ok(hdr="vorn | проект-ø", extra1=" bgt-jobs 2 |")),
    Case("goal and directory on the command line", ["--bg1", "-C", "dír-Ж", "gоal-中"], env=ENV,
         files={"dír-Ж/vorn.vorn": "gоal-中:\n\techo made > gоal-中\n"},
         expect_files={"dír-Ж/gоal-中": "made\n"}, stderr=done_ok(hdr="vorn | dír-Ж")),
]
