#!/usr/bin/perl
# Palm::PDB's side of bench/codec_margins: loads the AddressDB with
# Palm::Address (every record decoded) and writes it again (every record
# encoded), `passes` times, and prints the median CPU milliseconds of one
# pass and a check of the records.
# Usage: perl codec_margins_palm_perl.pl <AddressDB.pdb> <passes>
use strict;
use warnings;
use Palm::PDB;
use Palm::Address;

my ($file, $passes) = @ARGV;
$passes ||= 3;
my $out = "/dev/null";

sub cpu { my @t = times; return $t[0] + $t[1]; }

my (@ms, $pdb);
for my $p (1 .. $passes) {
  my $before = cpu();
  $pdb = Palm::PDB->new;
  $pdb->Load($file) or die "cannot load $file\n";
  $pdb->Write($out) or die "cannot write\n";
  push @ms, (cpu() - $before) * 1000;
}
@ms = sort { $a <=> $b } @ms;
my $first = $pdb->{records}[0]{fields}{name} // '';
printf "{\"cpu_ms\": %.1f, \"records\": %d, \"first_last_name\": \"%s\"}\n", $ms[int(@ms / 2)],
  scalar @{$pdb->{records}}, $first;
