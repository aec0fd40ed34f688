#!/usr/bin/env python3
"""The expected output of a host script under a user's regional setting, from its ISO one.

    regional_expected.py LOCALE < script.expected > script.LOCALE.expected
    regional_expected.py --forms LOCALE     prints the forms: short date, long time, decimal

Only the lines that carry regional texts change: the date field, the combined date-and-time
field and the delay field's decimal separator. They are rewritten by the locale's own Windows
forms below; every other line, nicknames and the preview included, passes through unchanged.
The stored "ToDate" and "ToTime" texts are yyyy-MM-dd and HH:mm:ss under every locale, so
they pass through too.
"""
import re
import sys

# Windows' defaults for each locale: short date, long time, decimal separator, AM/PM marks.
FORMS = {
    "en-US": ("M/d/yyyy", "h:mm:ss tt", ".", "AM", "PM"),
    "de-DE": ("d.M.yyyy", "HH:mm:ss", ",", "", ""),
    "en-GB": ("dd/MM/yyyy", "HH:mm:ss", ".", "am", "pm"),
}

DATE = r"(\d{4})-(\d\d)-(\d\d)"
TIME = r"(\d\d):(\d\d):(\d\d)"
TOKEN = re.compile(r"yyyy|yy|MM|M|dd|d|HH|H|hh|h|mm|m|ss|s|tt|t|'[^']*'|.")


def picture(form, marks, year=0, month=0, day=0, hours=0, minutes=0, seconds=0):
    """Formats by a Windows date or time picture (the tokens the forms above use)."""
    hours12 = hours % 12 or 12
    mark = marks[0] if hours < 12 else marks[1]
    values = {
        "yyyy": "%04d" % year, "yy": "%02d" % (year % 100), "MM": "%02d" % month, "M": str(month),
        "dd": "%02d" % day, "d": str(day), "HH": "%02d" % hours, "H": str(hours),
        "hh": "%02d" % hours12, "h": str(hours12), "mm": "%02d" % minutes, "m": str(minutes),
        "ss": "%02d" % seconds, "s": str(seconds), "tt": mark, "t": mark[:1],
    }
    text = "".join(values.get(t, t.strip("'") if t.startswith("'") else t) for t in TOKEN.findall(form))
    return text.strip()  # a time picture with an empty mark leaves no trailing blank


def rewrite(line, locale):
    date_form, time_form, decimal, am, pm = FORMS[locale]

    def date(m, at=1):
        return picture(date_form, (am, pm), int(m[at]), int(m[at + 1]), int(m[at + 2]))

    def time(m, at=1):
        return picture(time_form, (am, pm), hours=int(m[at]), minutes=int(m[at + 1]), seconds=int(m[at + 2]))

    if m := re.fullmatch(rf'txtDate text="{DATE}"', line):
        return f'txtDate text="{date(m)}"'
    if m := re.fullmatch(rf'txtDateTime text="{DATE} {TIME}"', line):
        return f'txtDateTime text="{date(m)} {time(m, 4)}"'
    if m := re.fullmatch(r'cmbDelay text="(-?\d+)\.(\d+(E[-+]\d+)?) Seconds" row=-1', line):
        return f'cmbDelay text="{m[1]}{decimal}{m[2]} Seconds" row=-1'
    return line


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--forms" and sys.argv[2] in FORMS:
        print("\t".join(FORMS[sys.argv[2]][:3]))
        return 0
    if len(sys.argv) != 2 or sys.argv[1] not in FORMS:
        print(__doc__.strip(), file=sys.stderr)
        print("locales: " + " ".join(FORMS), file=sys.stderr)
        return 2
    for line in sys.stdin.read().splitlines():
        print(rewrite(line, sys.argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
