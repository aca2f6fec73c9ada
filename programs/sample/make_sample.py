#!/usr/bin/env python3
"""Writes a CSV file of made-up people for korvi's sample run and benchmarks.

Every value is drawn from small word lists by a seeded generator, so the
output is the same on every machine and describes no real person: SSNs use
area numbers 900-999 (never issued), phone numbers the 555-01xx range set
aside for fiction, e-mail addresses the reserved example domains.

usage: make_sample.py [--count N] [--seed S] [OUT]   (OUT "-" or absent: stdout)
"""
import argparse
import csv
import random
import sys

FIRST = """James Mary Robert Patricia John Jennifer Michael Linda William Elizabeth
David Barbara Richard Susan Joseph Jessica Thomas Sarah Charles Karen Daniel
Nancy Matthew Lisa Anthony Betty Mark Margaret Donald Sandra Steven Ashley
Paul Kimberly Andrew Emily Joshua Donna Kenneth Michelle Kevin Carol Brian
Amanda George Dorothy Edward Melissa Ronald Deborah Timothy Stephanie Jason
Rebecca Jeffrey Sharon Ryan Laura Jacob Cynthia Gary Kathleen Nicholas Amy
Eric Angela Jonathan Shirley Stephen Anna Larry Brenda Justin Pamela Scott
Emma Brandon Nicole Benjamin Helen Samuel Samantha Gregory Katherine Alexander
Christine Frank Debra Patrick Rachel Raymond Carolyn Jack Janet Dennis
Catherine Jerry Maria Tyler Heather Aaron Diane Jose Ruth Adam Julie Nathan
Olivia Henry Joyce Douglas Virginia Zachary Victoria Peter Kelly Kyle Lauren
Walter Christina Ethan Joan Jeremy Evelyn Harold Judith Keith Megan Christian
Andrea Roger Cheryl Noah Hannah Gerald Jacqueline Carl Martha Terry Gloria
Sean Teresa Austin Ann Arthur Sara Lawrence Madison Jesse Frances Dylan
Kathryn Bryan Janice Joe Jean Jordan Abigail Billy Alice Bruce Judy Albert
Sophia Willie Grace Gabriel Denise Logan Amber Alan Doris Juan Marilyn Wayne
Danielle Roy Beverly Ralph Isabella Randy Theresa Eugene Diana Vincent
Natalie Russell Brittany Elijah Charlotte Louis Marie Bobby Kayla Philip
Alexis Johnny Lori""".split()

LAST = """Smith Johnson Williams Brown Jones Garcia Miller Davis Rodriguez Martinez
Hernandez Lopez Gonzalez Wilson Anderson Thomas Taylor Moore Jackson Martin
Lee Perez Thompson White Harris Sanchez Clark Ramirez Lewis Robinson Walker
Young Allen King Wright Scott Torres Nguyen Hill Flores Green Adams Nelson
Baker Hall Rivera Campbell Mitchell Carter Roberts Gomez Phillips Evans
Turner Diaz Parker Cruz Edwards Collins Reyes Stewart Morris Morales Murphy
Cook Rogers Gutierrez Ortiz Morgan Cooper Peterson Bailey Reed Kelly Howard
Ramos Kim Cox Ward Richardson Watson Brooks Chavez Wood James Bennett Gray
Mendoza Ruiz Hughes Price Alvarez Castillo Sanders Patel Myers Long Ross
Foster Jimenez Powell Jenkins Perry Russell Sullivan Bell Coleman Butler
Henderson Barnes Gonzales Fisher Vasquez Simmons Romero Jordan Patterson
Alexander Hamilton Graham Reynolds Griffin Wallace Moreno West Cole Hayes
Bryant Herrera Gibson Ellis Tran Medina Aguilar Stevens Murray Ford Castro
Marshall Owens Harrison Fernandez McDonald Woods Washington Kennedy Wells
Vargas Henry Chen Freeman Webb Tucker Guzman Burns Crawford Olson Simpson
Porter Hunter Gordon Mendez Silva Shaw Snyder Mason Dixon Munoz Hunt Hicks
Holmes Palmer Wagner Black Robertson Boyd Rose Stone Salazar Fox Warren Mills
Meyer Rice Schmidt Garza Daniels Ferguson Nichols Stephens Soto Weaver Ryan
Gardner Payne Grant Dunn Kelley Spencer Hawkins Arnold Pierce Vazquez Hansen
Peters Santos Hart Bradley Knight Elliott Cunningham Duncan Armstrong Hudson
Carroll Lane Riley Andrews Alvarado Ray Delgado Berry Perkins Hoffman Johnston
Matthews Pena Richards Contreras Willis Carpenter Lawrence Sandoval""".split()

STREETS = """Main Oak Pine Maple Cedar Elm Washington Lake Hill Walnut Park Spring
Ridge Church Willow Mill Sunset Railroad Jackson Cherry Highland Center Lincoln
Forest Madison Meadow Chestnut River Jefferson Franklin Adams Locust Dogwood
Hickory Birch Valley Prospect Cottage Orchard Laurel Mulberry""".split()
SUFFIXES = ["Street", "Avenue", "Road", "Drive", "Lane", "Boulevard", "Court", "Place", "Way",
            "St", "Ave", "Rd", "Dr", "Ln", "Blvd", "Ct"]
DIRECTIONS = ["", "", "", "North", "South", "East", "West", "N", "S", "E", "W"]
UNITS = ["", "", "", "", "Apt 4", "Apt 12B", "Suite 200", "Unit 7", "# 3"]

PLACES = [  # common town names with a state code or name; ZIP codes are random
    ("Fairview", "TN"), ("Riverton", "UT"), ("Oakdale", "CA"), ("Brookfield", "WI"),
    ("Lakewood", "CO"), ("Greenville", "SC"), ("Milford", "CT"), ("Ashland", "OR"),
    ("Clinton", "IA"), ("Georgetown", "TX"), ("Salem", "MA"), ("Franklin", "OH"),
    ("Madison", "AL"), ("Dover", "DE"), ("Kingston", "NY"), ("Marion", "IN"),
    ("Newport", "RI"), ("Bristol", "VA"), ("Auburn", "WA"), ("Dayton", "NV"),
    ("Springfield", "Illinois"), ("Jackson", "Mississippi"), ("Columbia", "Missouri"),
]
DOMAINS = ["example.com", "example.org", "example.net", "mail.example.com"]
HEADER = ["customer_id", "first_name", "middle_name", "last_name", "address", "city", "state",
          "zip", "email", "ssn", "phone"]


def person(rng, number):
    first = rng.choice(FIRST)
    last = rng.choice(LAST)
    middle = rng.choice(["", "", rng.choice(FIRST), rng.choice(FIRST)[0]])
    parts = [str(rng.randint(1, 9999)), rng.choice(DIRECTIONS), rng.choice(STREETS), rng.choice(SUFFIXES)]
    address = " ".join(p for p in parts if p)
    unit = rng.choice(UNITS)
    if unit:
        address += rng.choice([" ", ", "]) + unit  # a comma makes the CSV field quoted
    city, state = rng.choice(PLACES)
    zip_code = f"{rng.randint(501, 99950):05d}"
    if rng.random() < 0.2:
        zip_code += f"-{rng.randint(0, 9999):04d}"
    email = rng.choice([
        f"{first}.{last}", f"{first[0]}{last}", f"{first}{rng.randint(1, 99)}", f"{last}.{first[0]}"
    ]).lower() + "@" + rng.choice(DOMAINS)
    if rng.random() < 0.1:
        email = email.upper()
    area, group, serial = rng.randint(900, 999), rng.randint(1, 99), rng.randint(1, 9999)
    ssn = rng.choice([f"{area}-{group:02d}-{serial:04d}", f"{area}{group:02d}{serial:04d}"])
    line = rng.randint(100, 199)
    exchange = rng.randint(201, 989)
    phone = rng.choice([f"({exchange}) 555-{line:04d}", f"{exchange}-555-{line:04d}",
                        f"+1 {exchange} 555 {line:04d}"])
    if rng.random() < 0.05:
        ssn = ""  # some records lack a value
    if rng.random() < 0.05:
        phone = ""
    return [f"C{number:07d}", first, middle, last, address, city, state, zip_code, email, ssn, phone]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=20240601)
    parser.add_argument("out", nargs="?", default="-")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    out = sys.stdout if args.out == "-" else open(args.out, "w", newline="", encoding="utf-8")
    with out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(HEADER)
        for number in range(1, args.count + 1):
            writer.writerow(person(rng, number))


if __name__ == "__main__":
    main()
