#!/usr/bin/python3
"""Makes tests/data/sun-astropy.txt: sunrise, transit and sunset on the calendar's rarer
dates (century years, 29 February, the summer-time changes, the turn of the year, polar
days and nights), computed with astropy (Debian's python3-astropy), and the local clock of
each place from the time-zone database (Python's zoneinfo).

Rise and set are the instants the Sun's centre stands at the geometric (airless) altitude
-0,8333º: 34' of refraction and 16' of semi-diameter, the convention of the solar calendar,
so that the two differ only by the calendar's method. Transit is the Sun's crossing of
the meridian (azimuth 180º). A day with no crossing is a polar day ("No se pone": the Sun's
lowest point above that altitude) or night ("No sale": its highest point below it).

Run from the repository's root: /usr/bin/python3 scripts/sun_reference.py
Astropy only makes the data; the tests read the file.
"""
import datetime as dt
import warnings
from zoneinfo import ZoneInfo

import astropy.units as u
import numpy as np
from astropy.coordinates import AltAz, EarthLocation, get_sun
from astropy.time import Time
from astropy.utils import iers

# 1900 and 2100 lie outside the IERS tables: UT1 - UTC is then taken as 0, a second at
# most, nothing at the calendar's precision.
iers.conf.auto_download = False
iers.conf.iers_degraded_accuracy = "ignore"
warnings.simplefilter("ignore")

HORIZON = -50 / 60  # degrees

PLACES = {
    "Madrid": (40.4169, -3.7036, "Europe/Madrid"),
    "Estaca de Bares": (43.7917, -7.6883, "Europe/Madrid"),
    "Las Palmas": (28.1000, -15.4130, "Atlantic/Canary"),
    "Tromsø": (69.6492, 18.9553, "Europe/Oslo"),
    "Longyearbyen": (78.2232, 15.6267, "Europe/Oslo"),
}

# Place, date, and why.
CASES = [
    ("Madrid", "1900-02-28", "1900 is not a leap year"),
    ("Madrid", "1900-03-01", "the day after 28 February 1900"),
    ("Estaca de Bares", "1900-12-31", "the last day of a 365-day century year"),
    ("Madrid", "2000-02-29", "2000 is a leap year"),
    ("Madrid", "2000-03-01", "after 29 February 2000"),
    ("Estaca de Bares", "2100-02-28", "2100 is not a leap year"),
    ("Estaca de Bares", "2100-03-01", "the day after 28 February 2100"),
    ("Madrid", "2024-02-29", "a leap day"),
    ("Madrid", "1999-12-31", "the turn of the year"),
    ("Madrid", "2000-01-01", "the turn of the year"),
    ("Madrid", "2026-03-15", "winter: after March's first Sunday, before its last"),
    ("Madrid", "2024-03-30", "the day before summer time"),
    ("Madrid", "2024-03-31", "summer time starts at 2:00"),
    ("Madrid", "2024-10-15", "summer: after October's first Sunday, before its last"),
    ("Madrid", "2024-10-26", "the last day of summer time"),
    ("Madrid", "2024-10-27", "summer time ends at 3:00"),
    ("Estaca de Bares", "2026-03-29", "summer time starts"),
    ("Estaca de Bares", "2026-10-25", "summer time ends"),
    ("Las Palmas", "2024-03-30", "Canarias: the day before summer time"),
    ("Las Palmas", "2024-03-31", "Canarias: summer time starts at 1:00"),
    ("Las Palmas", "2024-10-27", "Canarias: summer time ends at 2:00"),
    ("Tromsø", "2024-03-20", "far north at the equinox"),
    ("Tromsø", "2024-05-25", "midnight Sun"),
    ("Tromsø", "2024-12-10", "polar night"),
    ("Longyearbyen", "2024-04-25", "midnight Sun"),
    ("Longyearbyen", "2024-11-10", "polar night"),
]


def clock(place, day):
    """The place's clock on that day: the zone's winter hours east of UT and summer time
    (0 or 1). Before the time-zone database's rules (1900) Spain's winter hour, UTC+1, and
    no summer time in the winter dates used."""
    lat, lon, zone = PLACES[place]
    if day.year < 1997:
        assert day.month in (1, 2, 3, 12)
        return dt.timezone(dt.timedelta(hours=1)), 1, 0
    tz = ZoneInfo(zone)
    noon = dt.datetime(day.year, day.month, day.day, 12, tzinfo=tz)
    summer = int(noon.dst().total_seconds() // 3600)
    winter = int(noon.utcoffset().total_seconds() // 3600) - summer
    return tz, winter, summer


def altaz(location, times):
    return get_sun(times).transform_to(AltAz(obstime=times, location=location, pressure=0 * u.hPa))


def refine(location, t0, t1, value):
    """The instant between t0 and t1 (astropy Times) where value(altaz) changes sign."""
    v0 = value(altaz(location, t0))
    for _ in range(20):  # 5 minutes / 2^20: well under a second
        mid = t0 + (t1 - t0) / 2
        vm = value(altaz(location, mid))
        if np.sign(vm) == np.sign(v0):
            t0, v0 = mid, vm
        else:
            t1 = mid
    return t0 + (t1 - t0) / 2


def main():
    lines = [
        "# Sunrise, transit and sunset on the calendar's rarer dates, from astropy "
        f"{__import__('astropy').__version__}:",
        "# made by scripts/sun_reference.py (/usr/bin/python3 scripts/sun_reference.py >"
        " tests/data/sun-astropy.txt); its opening",
        "# comment says the convention (the Sun's centre at -0,8333º airless: 34' refraction,"
        " 16' semi-diameter).",
        "# Local clock times from the time-zone database (Europe/Madrid, Atlantic/Canary,"
        " Europe/Oslo; 1900: UTC+1).",
        "# place | lat | lon | date | zone (hours east of UT in winter) | summer time (0/1) |"
        " day of the year from 0 | days in the year | rise | transit | set | why",
    ]
    for place, date, why in CASES:
        lat, lon, _ = PLACES[place]
        day = dt.date.fromisoformat(date)
        tz, winter, summer = clock(place, day)
        location = EarthLocation(lat=lat * u.deg, lon=lon * u.deg, height=0 * u.m)
        # 24 hours from the local midnight, every 5 minutes (stepped in UT: the clock's
        # own hours skip or repeat one on the days of the change).
        start = dt.datetime(day.year, day.month, day.day, tzinfo=tz).astimezone(dt.timezone.utc)
        step = 300  # seconds
        count = 24 * 3600 // step + 1
        utc = [start + dt.timedelta(seconds=step * i) for i in range(count)]
        times = Time([t.replace(tzinfo=None) for t in utc], scale="utc")
        sky = altaz(location, times)
        alt = sky.alt.deg - HORIZON
        az = sky.az.deg - 180

        def local(t):
            moment = t.to_datetime(timezone=dt.timezone.utc).astimezone(tz)
            seconds = round(moment.hour * 3600 + moment.minute * 60 + moment.second + moment.microsecond / 1e6)
            return f"{seconds // 3600:02d}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"

        def crossing(values, rising, value):
            for i in range(len(values) - 1):
                if (values[i] < 0 <= values[i + 1]) if rising else (values[i] >= 0 > values[i + 1]):
                    return local(refine(location, times[i], times[i + 1], value))
            return None

        transit = crossing(az, True, lambda s: s.az.deg - 180)
        rise = crossing(alt, True, lambda s: s.alt.deg - HORIZON)
        set_ = crossing(alt, False, lambda s: s.alt.deg - HORIZON)
        if rise is None and set_ is None:
            rise = set_ = "No se pone" if alt.min() > 0 else "No sale"
        assert rise and set_ and transit, (place, date)
        yday = day.timetuple().tm_yday - 1
        days = 366 if dt.date(day.year, 12, 31).timetuple().tm_yday == 366 else 365
        lines.append(
            f"{place} | {lat:.4f} | {lon:.4f} | {date} | {winter} | {summer} | {yday} | {days} | "
            f"{rise} | {transit} | {set_} | {why}"
        )
    print("\n".join(lines))


if __name__ == "__main__":
    main()
